#include "reply_writer.h"

#include <pugixml.hpp>

#include <sstream>

namespace kestrova::service {
namespace {

struct Reply {
  pugi::xml_document doc;
  pugi::xml_node msg;
  Reply() { msg = doc.append_child("data").append_child("msg"); }

  std::string text() const {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
  }
};

void Set(pugi::xml_node node, const char* name, const std::string& value) {
  node.append_attribute(name).set_value(value.c_str());
}

void SetFlag(pugi::xml_node node, const char* name, bool on) { Set(node, name, on ? "1" : "0"); }

}  // namespace

std::string ResultReply(std::string_view result, std::string_view message) {
  Reply reply;
  pugi::xml_node item = reply.msg.append_child("item");
  Set(item, "result", std::string(result));
  if (!message.empty()) Set(item, "message", std::string(message));
  return reply.text();
}

std::string LoginReply(const Company& company) {
  Reply reply;
  pugi::xml_node item = reply.msg.append_child("item");
  const CompanyProfile& p = company.profile;
  Set(item, "result", "success");
  Set(item, "name", p.name);
  Set(item, "title", p.title);
  Set(item, "tel", p.tel);
  Set(item, "fax", p.fax);
  Set(item, "qq", p.qq);
  Set(item, "skype", p.skype);
  Set(item, "msn", p.msn);
  Set(item, "email", p.email);
  SetFlag(item, "dsp_ent_card", p.dspEntCard);
  SetFlag(item, "dsp_play_zhimo", p.dspPlayZhimo);
  SetFlag(item, "auto_play", p.autoPlay);
  SetFlag(item, "auto_cre", p.autoCre);
  SetFlag(item, "dsp_logo", p.dspLogo);
  Set(item, "ftp_path", p.ftpPath);
  Set(item, "ftp_addr", p.ftpAddr);
  Set(item, "ftp_port", p.ftpPort);
  Set(item, "ftp_account", p.ftpAccount);
  Set(item, "ftp_password", p.ftpPassword);
  Set(item, "domain", p.domain);
  Set(item, "companyid", std::to_string(company.id));
  Set(item, "account", company.account);
  Set(item, "tvtype", company.tvtype);
  return reply.text();
}

std::string VideoListReply(const std::vector<Video>& videos) {
  Reply reply;
  for (const Video& v : videos) {
    pugi::xml_node item = reply.msg.append_child("item");
    Set(item, "id", std::to_string(v.id));
    Set(item, "title", v.title);
    Set(item, "duration", v.duration);
    Set(item, "fileName", v.fileName);
    Set(item, "framerate", v.framerate);
    Set(item, "fileSize", v.fileSize);
    Set(item, "sort", std::to_string(v.sort));
    Set(item, "createDate", v.createDate);
    Set(item, "state", v.state);
    Set(item, "memo", v.memo);
    Set(item, "zhimo", v.zhimo);
  }
  return reply.text();
}

}  // namespace kestrova::service
