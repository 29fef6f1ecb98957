// kestrova-cli convert as a user runs it: web-ready MP4 from the fixtures,
// quality presets, clear errors without half-written files, Ctrl-C.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

std::string Cli() { return (BinDir() / "kestrova-cli").string(); }

CommandResult Convert(const std::string& arguments) { return RunCommand(ShellQuote(Cli()) + " convert " + arguments + " 2>&1"); }

TEST(CliConvert, TurnsTheFixturesIntoWebReadyMp4) {
  TempDir out;
  for (const auto& input : {SharedMedia().mp4, SharedMedia().mpegts, SharedMedia().chinese}) {
    const auto target = out / (input.stem().string() + ".mp4");
    auto r = Convert(ShellQuote(input.string()) + " " + ShellQuote(target.string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(FfprobeValue("stream=codec_name,width,height,r_frame_rate", target, "v:0"), "h264\n320\n240\n15/1");
    EXPECT_EQ(FfprobeValue("stream=codec_name,sample_rate", target, "a:0"), "aac\n22050");
    EXPECT_NEAR(std::atof(FfprobeValue("format=duration", target).c_str()), 3.0, 0.2) << input;
  }
}

TEST(CliConvert, QualityPresetChoosesSizeAndRate) {
  TempDir out;
  auto r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote((out / "p0.mp4").string()) + " --preset 0");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(FfprobeValue("stream=width,height", out / "p0.mp4", "v:0"), "176\n144");
  r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote((out / "bad.mp4").string()) + " --preset 12");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(out / "bad.mp4"));
}

TEST(CliConvert, UnreadableInputsFailClearlyAndWriteNothing) {
  TempDir out;
  const struct {
    std::filesystem::path input;
    std::string message;
  } cases[] = {
      {out / "missing.avi", "No such file or directory"},
      {SharedMedia().notMedia, "Invalid data found when processing input"},
      {SharedMedia().empty, "Invalid data found when processing input"},
  };
  for (const auto& c : cases) {
    const auto target = out / "never.mp4";
    auto r = Convert(ShellQuote(c.input.string()) + " " + ShellQuote(target.string()));
    EXPECT_NE(r.exitCode, 0) << c.input;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(target)) << c.input;
  }
  auto r = Convert(ShellQuote(SharedMedia().mp4.string()) + " " + ShellQuote((out / "x.mp4").string()) +
                   " --opt vtag=toolong");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("video tag parameter must be 4 chars"), std::string::npos) << r.output;
}

TEST(CliConvert, CtrlCStopsCleanlyWithAPlayableFile) {
  TempDir dir;
  MakeMedia("-f lavfi -i testsrc=size=640x480:rate=25 -f lavfi -i sine=sample_rate=44100 -t 30 "
            "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest",
            dir / "long.mp4");
  const auto target = dir / "interrupted.mp4";
  ChildProcess cli({Cli(), "convert", (dir / "long.mp4").string(), target.string(), "--preset", "8", "--opt",
                    "vpre=libx264-veryslow"},
                   dir / "cli.log");
  // Wait until the output has grown past its header, then interrupt.
  for (int i = 0; i < 300; ++i) {
    std::error_code ec;
    if (std::filesystem::exists(target, ec) && std::filesystem::file_size(target, ec) > 2000) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  int status = cli.stop(2, std::chrono::seconds(60));
  ASSERT_TRUE(WIFEXITED(status)) << cli.log();
  EXPECT_EQ(WEXITSTATUS(status), 130) << cli.log();
  double seconds = std::atof(FfprobeValue("format=duration", target).c_str());
  EXPECT_GT(seconds, 0.0);
  EXPECT_LT(seconds, 29.0);
  auto decode = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(target.string()) + " -f null - 2>&1");
  EXPECT_EQ(decode.exitCode, 0);
  EXPECT_EQ(decode.output, "");
}

}  // namespace
