// kestrova-cli play run as a user would, on SDL's dummy drivers.
#include <gtest/gtest.h>

#include <cstdio>

#include "media_fixture.h"
#include "process.h"

using kestrova::test::BinDir;
using kestrova::test::MakeMedia;
using kestrova::test::TempDir;
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
  EXPECT_NE(result.output.find("已显示画面："), std::string::npos);
}

TEST(CliPlayTest, StartsWhereAskedAndPlaysWithoutSound) {
  auto result = RunCommand(Play(ShellQuote(SharedMedia().mp4.string()) + " --start 2 --no-audio"));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output.find("00:00:00.5"), std::string::npos) << result.output;
}

// The first position printed belongs to the first picture shown.
int64_t FirstPrintedPositionUs(const std::string& output) {
  size_t at = output.find(" / ");
  if (at == std::string::npos || at < 12) return -1;
  int hours = 0, minutes = 0, seconds = 0, millis = 0;
  if (std::sscanf(output.c_str() + at - 12, "%d:%d:%d.%d", &hours, &minutes, &seconds, &millis) != 4) return -1;
  return ((int64_t(hours) * 60 + minutes) * 60 + seconds) * 1'000'000 + int64_t(millis) * 1000;
}

// Key frames 7 s apart: --start lands on the picture asked for, not on the
// key frame before it; a clip with a display matrix plays upright.
TEST(CliPlayTest, StartsAtTheAskedPictureAndPlaysPhoneClipsUpright) {
  TempDir folder;
  const auto sparse = folder.path() / "sparse.mp4";
  MakeMedia("-f lavfi -i testsrc2=size=320x240:rate=25:duration=12 -f lavfi -i sine=frequency=440:duration=12 "
            "-c:v libx264 -preset veryfast -g 175 -keyint_min 175 -sc_threshold 0 -pix_fmt yuv420p -c:a aac -shortest",
            sparse);
  auto started = RunCommand(Play(ShellQuote(sparse.string()) + " --start 9.3 --stats"));
  ASSERT_EQ(started.exitCode, 0) << started.output;
  const int64_t first = FirstPrintedPositionUs(started.output);
  EXPECT_GE(first, 9'299'000) << started.output.substr(0, 200);
  EXPECT_LT(first, 9'420'000) << started.output.substr(0, 200);

  const auto phone = folder.path() / "phone.mp4";
  MakeMedia("-i " + ShellQuote(SharedMedia().mp4.string()) + " -t 1 -c copy -metadata:s:v:0 rotate=270", phone);
  auto upright = RunCommand(Play(ShellQuote(phone.string()) + " --stats"));
  ASSERT_EQ(upright.exitCode, 0) << upright.output;
  EXPECT_NE(upright.output.find("画面尺寸：240x320"), std::string::npos) << upright.output;
}

TEST(CliPlayTest, BadInputGivesAClearError) {
  const std::pair<std::string, std::string> table[] = {
      {ShellQuote((SharedMedia().folder / "a.avi").string()), "a.avi: No such file or directory"},
      {ShellQuote(SharedMedia().mp4.string()) + " --volume 200", "kestrova-cli play：--volume 只能是 0 到 128 的整数"},
      {ShellQuote(SharedMedia().mp4.string()) + " --start soon", "kestrova-cli play：--start 应为时间"},
      {ShellQuote(SharedMedia().mp4.string()) + " --size 640", "kestrova-cli play：--size 应为窗口的宽x高"},
      {"", "用法：kestrova-cli play FILE"},
  };
  for (const auto& [arguments, message] : table) {
    auto result = RunCommand(Play(arguments) + " 2>&1");
    EXPECT_NE(result.exitCode, 0) << arguments;
    EXPECT_NE(result.output.find(message), std::string::npos) << arguments << ": " << result.output;
  }
}

}  // namespace
