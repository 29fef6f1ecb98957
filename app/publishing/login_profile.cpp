#include "login_profile.h"

#include <cerrno>
#include <cstdlib>

#include "reply_readers.h"

namespace kestrova::publishing {

LoginProfile ReadLoginProfile(const std::string& reply) {
  auto value = [&reply](const char* attribute) {
    return service::getReplyValue(reply, "data.msg.item", attribute);
  };
  LoginProfile p;
  p.result = value("result");
  if (!p.accepted()) return p;
  p.name = value("name");
  p.title = value("title");
  p.tel = value("tel");
  p.fax = value("fax");
  p.qq = value("qq");
  p.skype = value("skype");
  p.msn = value("msn");
  p.email = value("email");
  p.dsp_ent_card = value("dsp_ent_card");
  p.dsp_play_zhimo = value("dsp_play_zhimo");
  p.auto_play = value("auto_play");
  p.auto_cre = value("auto_cre");
  p.dsp_logo = value("dsp_logo");
  p.ftp_path = value("ftp_path");
  p.ftp_addr = value("ftp_addr");
  p.ftp_port = value("ftp_port");
  p.ftp_account = value("ftp_account");
  p.ftp_password = value("ftp_password");
  p.domain = value("domain");
  p.companyid = value("companyid");
  p.account = value("account");
  p.tvtype = value("tvtype");
  return p;
}

long long StrToInt(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  std::string digits = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
  size_t first = (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) ? 1 : 0;
  bool valid = digits.size() > first && digits.size() - first <= 18;
  for (size_t i = first; valid && i < digits.size(); ++i) valid = digits[i] >= '0' && digits[i] <= '9';
  if (!valid) throw ConversionError("'" + text + "' is not a valid integer value");
  return std::strtoll(digits.c_str(), nullptr, 10);
}

bool FlagChecked(const std::string& value) { return StrToInt(value) != 0; }

bool MayEditFtpSettings(const std::string& tvtype) { return tvtype == "SETUP"; }

}  // namespace kestrova::publishing
