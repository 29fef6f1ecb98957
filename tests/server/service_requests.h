// Request texts as raw strings, with values dropped in exactly as given (no
// escaping), so tests can send both what the tool sends and what a hostile
// client would. The layout follows the tool's texts, odd blanks included.
#pragma once

#include <string>

namespace kestrova::test::requests {

inline std::string Envelope(const std::string& data) {
  return "<invoke name=\"ReceiveService\" returntype=\"xml\"><arguments><string>" + data +
         "</string></arguments></invoke>";
}

inline std::string Login(const std::string& account, const std::string& password) {
  return Envelope("<data><msgType>loadMainFlash</msgType><msg><item account=\"" + account + "\" password =\"" +
                  password + "\" /></msg></data>");
}

// extra: more attributes for the item, e.g. " state=\"U\"".
inline std::string List(const std::string& companyId, const std::string& extra = "") {
  return Envelope("<data><msgType  method=\"getByCompIdVideoList\">SysSetVideoFile</msgType><msg><item company_id=\"" +
                  companyId + "\"" + extra + "  /></msg></data>");
}

inline std::string Edit(const std::string& videoId, const std::string& sort, const std::string& title,
                        const std::string& companyId, const std::string& memo, const std::string& zhimo,
                        const std::string& state) {
  return Envelope("<data><msgType  method=\"editUploadFile\">SysSetVideoFile</msgType><msg><item id=\"" + videoId +
                  "\"  sort=\"" + sort + "\" title=\"" + title + "\"   companyId=\"" + companyId + "\"  memo=\"" +
                  memo + "\" zhimo=\"" + zhimo + "\" state=\"" + state + "\"  /></msg></data>");
}

inline std::string Edit(const std::string& videoId, const std::string& companyId, const std::string& title) {
  return Edit(videoId, "1", title, companyId, "", "", "A");
}

inline std::string Delete(const std::string& videoId, const std::string& companyId) {
  return Envelope("<data><msgType  method=\"delUploadFile\">SysSetVideoFile</msgType><msg><item id=\"" + videoId +
                  "\"  companyId=\"" + companyId + "\"  /></msg></data>");
}

inline std::string Save(const std::string& companyId, const std::string& fileName, const std::string& title,
                        const std::string& zhimo = "z") {
  return Envelope("<data><msgType method=\"saveUploadFile\">SysSetVideoFile</msgType><msg><item fileName=\"" +
                  fileName + "\" zhimo=\"" + zhimo + "\" title=\"" + title +
                  "\" duration=\"12\" framerate=\"25\"  companyId=\"" + companyId +
                  "\" fileSize=\"345\"  state=\"A\"/></msg></data>");
}

// The company card and player settings as the profile dialog sends them.
struct CompanyCard {
  std::string name = "新公司", title = "新地址", tel = "1", fax = "2", qq = "3", skype = "4", msn = "5", email = "e@x";
  std::string dspEntCard = "False", dspPlayZhimo = "True", autoPlay = "False", autoCre = "True", dspLogo = "False";
  std::string ftpPath = "/www", ftpAddr = "10.0.0.1", ftpPort = "21", ftpAccount = "web", ftpPassword = "pw",
              domain = "http://example.com";
};

inline std::string CardChange(const std::string& companyId, const CompanyCard& c) {
  return Envelope("<data><msgType method=\"ModComCard\">SysSetComCard</msgType><msg><item companyId=\"" + companyId +
                  "\" name=\"" + c.name + "\"  title=\"" + c.title + "\" tel=\"" + c.tel + "\" fax=\"" + c.fax +
                  "\" qq=\"" + c.qq + "\" skype=\"" + c.skype + "\" msn=\"" + c.msn + "\" email=\"" + c.email +
                  "\" dsp_ent_card=\"" + c.dspEntCard + "\" dsp_play_zhimo=\"" + c.dspPlayZhimo + "\" auto_play=\"" +
                  c.autoPlay + "\" auto_cre=\"" + c.autoCre + "\" dsp_logo=\"" + c.dspLogo + "\" ftp_path = \"" +
                  c.ftpPath + "\" ftp_addr=\"" + c.ftpAddr + "\" ftp_port=\"" + c.ftpPort + "\" ftp_account=\"" +
                  c.ftpAccount + "\" ftp_password=\"" + c.ftpPassword + "\" domain=\"" + c.domain +
                  "\"/></msg></data>");
}

inline std::string Password(const std::string& companyId, const std::string& oldPassword,
                            const std::string& newPassword) {
  return Envelope("<data><msgType method=\"ModComPsw\">SysSetComPsw</msgType><msg><item id=\"" + companyId +
                  "\" oldpwd=\"" + oldPassword + "\"  newpwd=\"" + newPassword + "\" /></msg></data>");
}

}  // namespace kestrova::test::requests
