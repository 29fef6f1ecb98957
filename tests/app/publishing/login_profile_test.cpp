#include <gtest/gtest.h>

#include "login_profile.h"
#include "reply_readers.h"

namespace kestrova::publishing {
namespace {

TEST(LoginProfile, IntegerConversionTable) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("1"), 1);
  EXPECT_EQ(StrToInt(" 2 "), 2);
  EXPECT_EQ(StrToInt("-3"), -3);
  for (const char* bad : {"error", "", "1.0", "True", "0x1", "1a", "-", "99999999999999999999"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const ConversionError& e) {
      EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
  EXPECT_TRUE(FlagChecked("1"));
  EXPECT_TRUE(FlagChecked("2"));
  EXPECT_FALSE(FlagChecked("0"));
}

TEST(LoginProfile, ReadsEveryValueAndErrorForMissingOnes) {
  LoginProfile p = ReadLoginProfile(
      "<data><msg><item result=\"success\" name=\"星河\" tvtype=\"setup\" companyid=\"5\" dsp_logo=\"\"/></msg></data>");
  EXPECT_TRUE(p.accepted());
  EXPECT_EQ(p.name, "星河");
  EXPECT_EQ(p.companyid, "5");
  EXPECT_EQ(p.dsp_logo, "error");
  EXPECT_EQ(p.tel, "error");
  EXPECT_FALSE(MayEditFtpSettings(p.tvtype));
  EXPECT_TRUE(MayEditFtpSettings("SETUP"));
  EXPECT_FALSE(ReadLoginProfile("<data><msg><item result=\"failure\"/></msg></data>").accepted());
  EXPECT_THROW(ReadLoginProfile("<data><msg>"), service::ReplyParseError);
}

}  // namespace
}  // namespace kestrova::publishing
