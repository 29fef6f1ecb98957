#include "password_rules.h"

#include "request_texts.h"

namespace kestrova::publishing {

std::optional<PasswordRuleFailure> CheckPasswordChange(const std::string& oldPassword,
                                                       const std::string& newPassword,
                                                       const std::string& confirmPassword) {
  using service::Trim;
  if (Trim(oldPassword).empty()) return PasswordRuleFailure{"原始密码不能为空！", PasswordField::Old};
  if (Trim(newPassword).empty()) return PasswordRuleFailure{"密码不能为空！", PasswordField::New};
  if (Trim(confirmPassword).empty()) return PasswordRuleFailure{"确认密码不能为空！", PasswordField::Confirm};
  if (confirmPassword != newPassword) {
    return PasswordRuleFailure{"密码与确认密码不一致，请重新输入！", PasswordField::New};
  }
  return std::nullopt;
}

}  // namespace kestrova::publishing
