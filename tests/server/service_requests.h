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

inline std::string Edit(const std::string& videoId, const std::string& companyId, const std::string& title) {
  return Envelope("<data><msgType  method=\"editUploadFile\">SysSetVideoFile</msgType><msg><item id=\"" + videoId +
                  "\"  sort=\"1\" title=\"" + title + "\"   companyId=\"" + companyId +
                  "\"  memo=\"\" zhimo=\"\" state=\"A\"  /></msg></data>");
}

inline std::string Save(const std::string& companyId, const std::string& fileName, const std::string& title) {
  return Envelope("<data><msgType method=\"saveUploadFile\">SysSetVideoFile</msgType><msg><item fileName=\"" +
                  fileName + "\" zhimo=\"z\" title=\"" + title + "\" duration=\"12\" framerate=\"25\"  companyId=\"" +
                  companyId + "\" fileSize=\"345\"  state=\"A\"/></msg></data>");
}

inline std::string Password(const std::string& companyId, const std::string& oldPassword,
                            const std::string& newPassword) {
  return Envelope("<data><msgType method=\"ModComPsw\">SysSetComPsw</msgType><msg><item id=\"" + companyId +
                  "\" oldpwd=\"" + oldPassword + "\"  newpwd=\"" + newPassword + "\" /></msg></data>");
}

}  // namespace kestrova::test::requests
