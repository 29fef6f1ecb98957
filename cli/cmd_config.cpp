// kestrova-cli config --service URL --account NAME --data DIR: signs in, asks
// for the catalogue and rewrites DIR/config.xml for the web player, as the
// desktop tool does after each refresh of its list: the company card and
// player flags as the back end keeps them, the published videos in list order.
#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <pugixml.hpp>

#include "command.h"
#include "config_xml.h"
#include "reply_readers.h"
#include "request_texts.h"
#include "service_client.h"

namespace kestrova::cli {
namespace {

const char* kUsage = "config --service URL --account NAME --data DIR   (password in KESTROVA_PASSWORD)";

publishing::PlayerConfig ConfigFromProfile(const publishing::LoginProfile& p, service::TvideofileList rows) {
  publishing::PlayerConfig c;
  c.companyid = p.companyid;
  c.account = p.account;
  c.tvtype = p.tvtype;
  c.companyname = p.name;
  c.addr = p.title;  // the card's address field travels as "title"
  c.tel = p.tel;
  c.fax = p.fax;
  c.qq = p.qq;
  c.skype = p.skype;
  c.msn = p.msn;
  c.email = p.email;
  c.chkDisplayEntCard = publishing::FlagChecked(p.dsp_ent_card);
  c.chkDisplayZhimo = publishing::FlagChecked(p.dsp_play_zhimo);
  c.chkAutoPlay = publishing::FlagChecked(p.auto_play);
  c.chkAutocre = publishing::FlagChecked(p.auto_cre);
  c.chkDisplayLogo = publishing::FlagChecked(p.dsp_logo);
  c.rows = std::move(rows);
  return c;
}

// A refused request is answered with one item that carries "result"; a
// catalogue's items never do. Read as a list, a refusal would be an empty
// playlist and take every video off the site.
std::string RefusalIn(const std::string& reply) {
  pugi::xml_document doc;
  if (!doc.load_string(reply.c_str())) return "the reply is not XML";
  pugi::xml_node item = service::findChildByName(service::findChildByName(doc.document_element(), "msg"), "item");
  pugi::xml_attribute result = item.attribute("result");
  if (!result) return "";
  std::string message = item.attribute("message").value();
  return std::string(result.value()) + (message.empty() ? "" : " (" + message + ")");
}

ino_t InodeOf(const std::filesystem::path& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
}

int RunConfig(const std::vector<std::string>& words) {
  Arguments args(words);
  std::string data = args.value("data");
  if (data.empty() || !args.positionals().empty()) {
    std::cerr << "usage: kestrova-cli " << kUsage << "\n";
    return 2;
  }
  SignedIn session = SignInFromCommandLine(args.value("service"), args.value("account"), args.value("ca-file"));
  std::string reply = session.client.Post(service::VideoListRequest(session.profile.companyid));
  if (std::string refusal = RefusalIn(reply); !refusal.empty()) {
    std::cerr << "kestrova-cli config: the service did not hand out the catalogue: " << refusal << "\n";
    return 1;
  }
  service::TvideofileList rows = service::parseVideoList(reply);
  publishing::PlayerConfig config = ConfigFromProfile(session.profile, rows);
  std::filesystem::path file = std::filesystem::path(data) / "config.xml";
  // The writer keeps quiet when saving fails (the desktop tool rewrites the
  // file at every refresh); here the user is waiting for this one file. It
  // saves a new file and renames it over the old one, so success shows as a
  // new inode under the name.
  ino_t before = InodeOf(file);
  publishing::createConfigXml(file, config);
  if (InodeOf(file) == before) {
    std::cerr << "kestrova-cli config: cannot write " << file.string() << "\n";
    return 1;
  }

  size_t published = 0;
  for (const service::Tvideofile& row : rows) published += row.state == "A" ? 1 : 0;
  std::cout << file.string() << ": " << published << " published of " << rows.size() << " videos\n";
  return 0;
}

const CommandRegistrar kRegistrar({"config", kUsage, RunConfig});

}  // namespace
}  // namespace kestrova::cli
