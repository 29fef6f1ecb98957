#include "site_config.h"

#include <sys/stat.h>

#include <pugixml.hpp>

#include "config_xml.h"
#include "reply_readers.h"
#include "request_texts.h"
#include "service_client.h"

namespace kestrova::cli {
namespace {

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
  if (!doc.load_string(reply.c_str())) return "应答不是 XML";
  pugi::xml_node item = service::findChildByName(service::findChildByName(doc.document_element(), "msg"), "item");
  pugi::xml_attribute result = item.attribute("result");
  if (!result) return "";
  std::string message = item.attribute("message").value();
  return std::string(result.value()) + (message.empty() ? "" : "（" + message + "）");
}

ino_t InodeOf(const std::filesystem::path& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
}

}  // namespace

SiteConfigResult RewriteSiteConfig(ServiceClient& client, const publishing::LoginProfile& profile,
                                   const std::filesystem::path& file) {
  SiteConfigResult result;
  std::string reply = client.Post(service::VideoListRequest(profile.companyid));
  if (std::string refusal = RefusalIn(reply); !refusal.empty()) {
    result.error = "后台服务没有给出视频目录：" + refusal;
    return result;
  }
  service::TvideofileList rows = service::parseVideoList(reply);
  for (const service::Tvideofile& row : rows) result.published += row.state == "A" ? 1 : 0;
  result.videos = rows.size();
  // The writer keeps quiet when saving fails (the desktop tool rewrites the
  // file at every refresh); here the user is waiting for this one file. It
  // saves a new file and renames it over the old one, so success shows as a
  // new inode under the name.
  ino_t before = InodeOf(file);
  publishing::createConfigXml(file, ConfigFromProfile(profile, std::move(rows)));
  if (InodeOf(file) == before) result.error = "无法写入 " + file.string();
  return result;
}

}  // namespace kestrova::cli
