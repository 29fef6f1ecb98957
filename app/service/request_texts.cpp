#include "request_texts.h"

#include <pugixml.hpp>

namespace kestrova::service {

namespace {
const char* BoolText(bool value) { return value ? "True" : "False"; }

// Short name for the escaping every value below goes through.
std::string V(const std::string& value) { return EscapeAttributeValue(value); }
}  // namespace

std::string EscapeAttributeValue(const std::string& value) {
  // Most values need nothing: hand them back untouched without building a
  // second string character by character.
  if (value.find_first_of("&<>\"\t\n\r") == std::string::npos) return value;
  std::string out;
  out.reserve(value.size() + 16);
  for (char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      // Written as references: a reader turns raw line breaks and tabs in an
      // attribute value into blanks.
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string RequestEnvelope(const std::string& body) {
  return "<invoke name=\"ReceiveService\" returntype=\"xml\"><arguments><string>" + body +
         "</string></arguments></invoke>";
}

std::string LoadMainFlashRequest(const std::string& account, const std::string& password) {
  return RequestEnvelope("<data><msgType>loadMainFlash</msgType><msg><item account=\"" + V(account) +
                         "\" password =\"" + V(password) + "\" /></msg></data>");
}

std::string VideoListRequest(const std::string& companyid) {
  return RequestEnvelope(
      "<data><msgType  method=\"getByCompIdVideoList\">SysSetVideoFile</msgType><msg><item company_id=\"" +
      V(companyid) + "\"  /></msg></data>");
}

std::string EditUploadFileRequest(const VideoEdit& e) {
  return RequestEnvelope(
      "<data><msgType  method=\"editUploadFile\">SysSetVideoFile</msgType><msg><item id=\"" + V(e.id) +
      "\"  sort=\"" + V(e.sort) + "\" title=\"" + V(e.title) + "\"   companyId=\"" + V(e.companyid) + "\"  memo=\"" +
      V(e.memo) + "\" zhimo=\"" + V(e.zhimo) + "\" state=\"" + V(e.state) + "\"  /></msg></data>");
}

std::string DelUploadFileRequest(const std::string& id, const std::string& companyid) {
  return RequestEnvelope(
      "<data><msgType  method=\"delUploadFile\">SysSetVideoFile</msgType><msg><item id=\"" + V(id) +
      "\"  companyId=\"" + V(companyid) + "\"  /></msg></data>");
}

std::string SaveUploadFileRequest(const NewVideo& v) {
  return RequestEnvelope(
      "<data><msgType method=\"saveUploadFile\">SysSetVideoFile</msgType><msg>"
      "<item fileName=\"" + V(v.fileName) + "\" zhimo=\"" + V(v.zhimo) + "\" title=\"" + V(v.title) +
      "\" duration=\"" + V(v.duration) + "\" framerate=\"" + V(v.framerate) + "\"  companyId=\"" + V(v.companyid) +
      "\" fileSize=\"" + V(v.fileSize) + "\"  state=\"A\"/>"
      "</msg></data>");
}

std::string RequestMethod(const std::string& request) {
  // Every request text names it once, as the msgType's attribute, unescaped.
  static const std::string marker = "method=\"";
  const size_t start = request.find(marker);
  if (start == std::string::npos) return "";
  const size_t end = request.find('"', start + marker.size());
  return end == std::string::npos ? "" : request.substr(start + marker.size(), end - start - marker.size());
}

std::string ModComCardRequest(const CompanyCard& c) {
  return RequestEnvelope(
      "<data><msgType method=\"ModComCard\">SysSetComCard</msgType><msg><item companyId=\"" + V(c.companyid) +
      "\" name=\"" + V(c.name) + "\"  title=\"" + V(c.title) + "\" tel=\"" + V(c.tel) + "\" fax=\"" + V(c.fax) +
      "\" qq=\"" + V(c.qq) + "\" skype=\"" + V(c.skype) + "\" msn=\"" + V(c.msn) + "\" email=\"" + V(c.email) +
      "\" dsp_ent_card=\"" + BoolText(c.dsp_ent_card) + "\" dsp_play_zhimo=\"" + BoolText(c.dsp_play_zhimo) +
      "\" auto_play=\"" + BoolText(c.auto_play) + "\" auto_cre=\"" + BoolText(c.auto_cre) +
      "\" dsp_logo=\"" + BoolText(c.dsp_logo) + "\" ftp_path = \"" + V(c.ftp_path) + "\" ftp_addr=\"" +
      V(c.ftp_addr) + "\" ftp_port=\"" + V(c.ftp_port) + "\" ftp_account=\"" + V(c.ftp_account) +
      "\" ftp_password=\"" + V(c.ftp_password) + "\" domain=\"" + V(c.domain) + "\"/></msg></data>");
}

std::string ModComPswRequest(const std::string& companyid, const std::string& oldPassword,
                             const std::string& newPassword) {
  return RequestEnvelope(
      "<data><msgType method=\"ModComPsw\">SysSetComPsw</msgType><msg><item id=\"" + V(companyid) +
      "\" oldpwd=\"" + V(Trim(oldPassword)) + "\"  newpwd=\"" + V(Trim(newPassword)) + "\" /></msg></data>");
}

namespace {
// The <item> of a request text, or an empty node.
pugi::xml_node RequestItem(pugi::xml_document& doc, const std::string& request) {
  if (!doc.load_string(request.c_str())) return {};
  return doc.first_element_by_path("invoke/arguments/string/data/msg/item");
}
}  // namespace

std::string SignInAfterPasswordChange(const std::string& signInRequest, const std::string& passwordRequest) {
  pugi::xml_document signIn, change;
  pugi::xml_attribute account = RequestItem(signIn, signInRequest).attribute("account");
  pugi::xml_attribute newPassword = RequestItem(change, passwordRequest).attribute("newpwd");
  if (!account || !newPassword) return {};
  return LoadMainFlashRequest(account.value(), newPassword.value());
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace kestrova::service
