// The request texts the tool hands to the service movie: fixed texts with
// each value dropped in between, escaped as an XML attribute value, so a
// title or password with a quote, "&", "<" or a line break arrives exactly
// as typed (a value without such characters goes in byte for byte). The odd
// runs of blanks are part of the format the back end has always received.
#pragma once

#include <string>

namespace kestrova::service {

// The value as the text of a double-quoted XML attribute: "&", "<", ">" and
// '"' as entities, tab, line feed and carriage return as character
// references (a reader would turn them into blanks if left raw).
std::string EscapeAttributeValue(const std::string& value);

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

// The method one of the request texts above names ("saveUploadFile"), or ""
// for a text that names none.
std::string RequestMethod(const std::string& request);

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

// The sign-in request to keep after a password change succeeded: the account
// of signInRequest with the new password of passwordRequest (a
// "ModComPsw" text), so signing in again silently keeps working. Empty when
// either text cannot be read.
std::string SignInAfterPasswordChange(const std::string& signInRequest, const std::string& passwordRequest);

// Blanks trimmed from both ends (spaces and control characters, as the old
// tool's trim did).
std::string Trim(const std::string& text);

}  // namespace kestrova::service
