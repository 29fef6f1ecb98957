#include "request_texts.h"

namespace kestrova::service {

namespace {
const char* BoolText(bool value) { return value ? "True" : "False"; }
}  // namespace

std::string RequestEnvelope(const std::string& body) {
  return "<invoke name=\"ReceiveService\" returntype=\"xml\"><arguments><string>" + body +
         "</string></arguments></invoke>";
}

std::string LoadMainFlashRequest(const std::string& account, const std::string& password) {
  return RequestEnvelope("<data><msgType>loadMainFlash</msgType><msg><item account=\"" + account +
                         "\" password =\"" + password + "\" /></msg></data>");
}

std::string VideoListRequest(const std::string& companyid) {
  return RequestEnvelope(
      "<data><msgType  method=\"getByCompIdVideoList\">SysSetVideoFile</msgType><msg><item company_id=\"" +
      companyid + "\"  /></msg></data>");
}

std::string EditUploadFileRequest(const VideoEdit& e) {
  return RequestEnvelope(
      "<data><msgType  method=\"editUploadFile\">SysSetVideoFile</msgType><msg><item id=\"" + e.id +
      "\"  sort=\"" + e.sort + "\" title=\"" + e.title + "\"   companyId=\"" + e.companyid + "\"  memo=\"" +
      e.memo + "\" zhimo=\"" + e.zhimo + "\" state=\"" + e.state + "\"  /></msg></data>");
}

std::string DelUploadFileRequest(const std::string& id, const std::string& companyid) {
  return RequestEnvelope(
      "<data><msgType  method=\"delUploadFile\">SysSetVideoFile</msgType><msg><item id=\"" + id +
      "\"  companyId=\"" + companyid + "\"  /></msg></data>");
}

std::string SaveUploadFileRequest(const NewVideo& v) {
  return RequestEnvelope(
      "<data><msgType method=\"saveUploadFile\">SysSetVideoFile</msgType><msg>"
      "<item fileName=\"" + v.fileName + "\" zhimo=\"" + v.zhimo + "\" title=\"" + v.title +
      "\" duration=\"" + v.duration + "\" framerate=\"" + v.framerate + "\"  companyId=\"" + v.companyid +
      "\" fileSize=\"" + v.fileSize + "\"  state=\"A\"/>"
      "</msg></data>");
}

std::string ModComCardRequest(const CompanyCard& c) {
  return RequestEnvelope(
      "<data><msgType method=\"ModComCard\">SysSetComCard</msgType><msg><item companyId=\"" + c.companyid +
      "\" name=\"" + c.name + "\"  title=\"" + c.title + "\" tel=\"" + c.tel + "\" fax=\"" + c.fax +
      "\" qq=\"" + c.qq + "\" skype=\"" + c.skype + "\" msn=\"" + c.msn + "\" email=\"" + c.email +
      "\" dsp_ent_card=\"" + BoolText(c.dsp_ent_card) + "\" dsp_play_zhimo=\"" + BoolText(c.dsp_play_zhimo) +
      "\" auto_play=\"" + BoolText(c.auto_play) + "\" auto_cre=\"" + BoolText(c.auto_cre) +
      "\" dsp_logo=\"" + BoolText(c.dsp_logo) + "\" ftp_path = \"" + c.ftp_path + "\" ftp_addr=\"" +
      c.ftp_addr + "\" ftp_port=\"" + c.ftp_port + "\" ftp_account=\"" + c.ftp_account +
      "\" ftp_password=\"" + c.ftp_password + "\" domain=\"" + c.domain + "\"/></msg></data>");
}

std::string ModComPswRequest(const std::string& companyid, const std::string& oldPassword,
                             const std::string& newPassword) {
  return RequestEnvelope(
      "<data><msgType method=\"ModComPsw\">SysSetComPsw</msgType><msg><item id=\"" + companyid +
      "\" oldpwd=\"" + Trim(oldPassword) + "\"  newpwd=\"" + Trim(newPassword) + "\" /></msg></data>");
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace kestrova::service
