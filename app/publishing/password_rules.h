// The checks a password change passes before it is sent.
#pragma once

#include <optional>
#include <string>

namespace kestrova::publishing {

enum class PasswordField { Old, New, Confirm };

struct PasswordRuleFailure {
  std::string message;
  PasswordField focus;  // where the user continues typing
};

// The first rule the three entries break, or nothing. Emptiness is judged on
// trimmed text; the repeat must equal the new password exactly.
std::optional<PasswordRuleFailure> CheckPasswordChange(const std::string& oldPassword,
                                                       const std::string& newPassword,
                                                       const std::string& confirmPassword);

}  // namespace kestrova::publishing
