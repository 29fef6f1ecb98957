// The request texts the tool hands to the service movie. They are fixed
// texts with values dropped in between exactly as given: nothing is escaped,
// so a value with a double quote or "<" makes the request ill-formed, and the
// back end answers it with a failure. The odd runs of blanks are part of the
// format the back end has always received.
#pragma once

#include <string>

namespace kestrova::service {

// Wraps a "<data>...</data>" body into the call envelope.
std::string RequestEnvelope(const std::string& body);

std::string LoadMainFlashRequest(const std::string& account, const std::string& password);

std::string VideoListRequest(const std::string& companyid);

struct VideoEdit {
  std::string id, sort, title, companyid, memo, zhimo, state;
};
std::string EditUploadFileRequest(const VideoEdit& edit);

std::string DelUploadFileRequest(const std::string& id, const std::string& companyid);

struct NewVideo {
  std::string fileName, zhimo, title, duration, framerate, companyid, fileSize;
};
std::string SaveUploadFileRequest(const NewVideo& video);

struct CompanyCard {
  std::string companyid;
  std::string name, title, tel, fax, qq, skype, msn, email;
  bool dsp_ent_card = false, dsp_play_zhimo = false, auto_play = false, auto_cre = false, dsp_logo = false;
  std::string ftp_path, ftp_addr, ftp_port, ftp_account, ftp_password, domain;
};
std::string ModComCardRequest(const CompanyCard& card);

// The passwords are trimmed of leading and trailing blanks here.
std::string ModComPswRequest(const std::string& companyid, const std::string& oldPassword,
                             const std::string& newPassword);

// Blanks trimmed from both ends (spaces and control characters, as the old
// tool's trim did).
std::string Trim(const std::string& text);

}  // namespace kestrova::service
