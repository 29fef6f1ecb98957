#include <gtest/gtest.h>

#include "password_rules.h"

namespace kestrova::publishing {
namespace {

TEST(PasswordRules, FirstBrokenRuleWins) {
  struct Case {
    const char *oldPw, *newPw, *confirm;
    const char* message;  // nullptr: accepted
    PasswordField focus;
  } cases[] = {
      {"", "", "", "原始密码不能为空！", PasswordField::Old},
      {"   ", "new", "new", "原始密码不能为空！", PasswordField::Old},
      {"old", " ", "x", "密码不能为空！", PasswordField::New},
      {"old", "new", "  ", "确认密码不能为空！", PasswordField::Confirm},
      {"old", "new ", "new", "密码与确认密码不一致，请重新输入！", PasswordField::New},
      {"old", "New", "new", "密码与确认密码不一致，请重新输入！", PasswordField::New},
      {"old", "new ", "new ", nullptr, PasswordField::Old},
      {"same", "same", "same", nullptr, PasswordField::Old},
      {"o", "1", "1", nullptr, PasswordField::Old},
  };
  for (const Case& c : cases) {
    auto failure = CheckPasswordChange(c.oldPw, c.newPw, c.confirm);
    if (!c.message) {
      EXPECT_FALSE(failure) << c.newPw;
      continue;
    }
    ASSERT_TRUE(failure) << c.message;
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->focus, c.focus) << c.message;
  }
}

}  // namespace
}  // namespace kestrova::publishing
