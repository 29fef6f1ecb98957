// kestrova-cli play run as a user would, on SDL's dummy drivers.
#include <gtest/gtest.h>

#include "media_fixture.h"
#include "process.h"

using kestrova::test::BinDir;
using kestrova::test::RunCommand;
using kestrova::test::ShellQuote;
using kestrova::test::SharedMedia;

namespace {

std::string Play(const std::string& arguments) {
  return ShellQuote((BinDir() / "kestrova-cli").string()) + " play " + arguments;
}

TEST(CliPlayTest, PlaysToTheEndPrintingThePosition) {
  auto result = RunCommand(Play(ShellQuote(SharedMedia().mp4.string()) + " --volume 64 --stats"));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("00:00:03.0"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("pictures shown: "), std::string::npos);
}

TEST(CliPlayTest, StartsWhereAskedAndPlaysWithoutSound) {
  auto result = RunCommand(Play(ShellQuote(SharedMedia().mp4.string()) + " --start 2 --no-audio"));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output.find("00:00:00.5"), std::string::npos) << result.output;
}

TEST(CliPlayTest, BadInputGivesAClearError) {
  const std::pair<std::string, std::string> table[] = {
      {ShellQuote((SharedMedia().folder / "a.avi").string()), "a.avi: No such file or directory"},
      {ShellQuote(SharedMedia().mp4.string()) + " --volume 200", "the volume is a number from 0 to 128"},
      {ShellQuote(SharedMedia().mp4.string()) + " --start soon", "--start takes a time"},
      {"", "usage: kestrova-cli play FILE"},
  };
  for (const auto& [arguments, message] : table) {
    auto result = RunCommand(Play(arguments) + " 2>&1");
    EXPECT_NE(result.exitCode, 0) << arguments;
    EXPECT_NE(result.output.find(message), std::string::npos) << arguments << ": " << result.output;
  }
}

}  // namespace
