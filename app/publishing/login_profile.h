// The company profile that the login reply carries, and the conversions the
// login applies to it.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrova::publishing {

// Every value as getReplyValue returns it: a missing or empty attribute reads
// "error".
struct LoginProfile {
  std::string result;
  std::string name, title, tel, fax, qq, skype, msn, email;
  std::string dsp_ent_card, dsp_play_zhimo, auto_play, auto_cre, dsp_logo;
  std::string ftp_path, ftp_addr, ftp_port, ftp_account, ftp_password, domain;
  std::string companyid, account, tvtype;

  bool accepted() const { return result == "success"; }
};

// Reads the profile from a login reply; throws ReplyParseError when the reply
// is not well-formed XML.
LoginProfile ReadLoginProfile(const std::string& reply);

// A text that is not a decimal integer.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A decimal integer with optional sign and surrounding blanks; anything else
// (also "error") throws ConversionError "'text' is not a valid integer value".
long long StrToInt(const std::string& text);

// A player flag's check state: 0 clears, any other integer sets.
bool FlagChecked(const std::string& value);

// Only an account of type exactly "SETUP" may see and edit its FTP settings.
bool MayEditFtpSettings(const std::string& tvtype);

}  // namespace kestrova::publishing
