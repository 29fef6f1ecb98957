// kestrova-cli probe and thumbnail, run as a user would, on ffmpeg-made media;
// the thumbnail is checked against the ffmpeg tool's own picture at that time.
#include <gtest/gtest.h>

#include <cmath>

#include "media_fixture.h"
#include "process.h"

using kestrova::test::BinDir;
using kestrova::test::RunCommand;
using kestrova::test::ShellQuote;
using kestrova::test::SharedMedia;

namespace {

std::string Cli(const std::string& arguments) { return ShellQuote((BinDir() / "kestrova-cli").string()) + " " + arguments; }

// The picture as packed RGB bytes, decoded by the ffmpeg tool, optionally scaled.
std::string RawRgb(const std::filesystem::path& file, const std::string& filters = "") {
  auto result = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) +
                           (filters.empty() ? "" : " -vf " + filters) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
  EXPECT_EQ(result.exitCode, 0);
  return result.output;
}

TEST(CliProbeTest, PrintsTheInformationText) {
  const auto& m = SharedMedia();
  auto result = RunCommand(Cli("probe " + ShellQuote(m.chinese.string())) + " 2>/dev/null");
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output.rfind("File Name: " + m.chinese.string() + "\r\n", 0), 0u) << result.output;
  EXPECT_NE(result.output.find("\r\nFormat Name: mov,mp4,m4a,3gp,3g2,mj2\r\n"), std::string::npos);
  EXPECT_NE(result.output.find("\r\nStream #1[0x2](und), 1/44100: Audio: aac"), std::string::npos);
}

TEST(CliProbeTest, UnusableFilesGiveAClearErrorAndFail) {
  const auto& m = SharedMedia();
  const std::pair<std::filesystem::path, std::string> table[] = {
      {m.folder / "missing.mp4", "No such file or directory"},
      {m.empty, "Invalid data found when processing input"},
      {m.truncated, "Invalid data found when processing input"},
      {m.notMedia, "Invalid data found when processing input"},
  };
  for (auto& [path, reason] : table) {
    for (std::string command : {"probe " + ShellQuote(path.string()),
                                "thumbnail " + ShellQuote(path.string()) + " --at 00:00:01.000 -o " +
                                    ShellQuote((m.folder / "never.jpg").string())}) {
      auto result = RunCommand(Cli(command));
      EXPECT_NE(result.exitCode, 0) << command;
      EXPECT_NE(result.output.find(path.string() + ": " + reason), std::string::npos) << result.output;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(m.folder / "never.jpg"));
  auto audio = RunCommand(Cli("thumbnail " + ShellQuote(m.audioOnly.string()) + " --at 00:00:01.000 -o " +
                              ShellQuote((m.folder / "never.jpg").string())));
  EXPECT_NE(audio.exitCode, 0);
  EXPECT_NE(audio.output.find("no video stream."), std::string::npos) << audio.output;
  auto badTime = RunCommand(Cli("thumbnail " + ShellQuote(m.mp4.string()) + " --at soon -o x.jpg"));
  EXPECT_NE(badTime.exitCode, 0);
  EXPECT_NE(badTime.output.find("--at “soon” 无效"), std::string::npos) << badTime.output;
}

TEST(CliThumbnailTest, MatchesTheToolsPictureAtThatTime) {
  const auto& m = SharedMedia();
  kestrova::test::TempDir dir;
  for (auto [source, at] : {std::pair{m.mp4, "00:00:01.480"}, std::pair{m.mpegts, "00:00:02.200"}}) {
    auto out = dir / "thumb.jpg";
    auto result = RunCommand(Cli("thumbnail " + ShellQuote(source.string()) + " --at " + at + " -o " +
                                 ShellQuote(out.string())));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(kestrova::test::FfprobeValue("stream=width,height", out), "120\n90");
    // The tool's own picture at that time is the closest of its neighbours
    // (every picture of the test source differs from the next).
    std::string ours = RawRgb(out);
    ASSERT_EQ(ours.size(), 120u * 90 * 3);
    auto differenceAt = [&](double seconds) {
      auto reference = dir / "reference.png";
      // Seeking as an output option decodes from the start: exact on any container.
      kestrova::test::MakeMedia("-i " + ShellQuote(source.string()) + " -ss " + std::to_string(seconds) +
                                    " -frames:v 1 -vf scale=120:90:flags=bicubic",
                                reference);
      std::string theirs = RawRgb(reference);
      EXPECT_EQ(theirs.size(), ours.size());
      double sum = 0;
      for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i) {
        sum += std::abs(int(uint8_t(ours[i])) - int(uint8_t(theirs[i])));
      }
      return sum / double(ours.size());
    };
    double seconds = std::stod(std::string(at).substr(6));
    double before = differenceAt(seconds - 0.04), exact = differenceAt(seconds), after = differenceAt(seconds + 0.04);
    EXPECT_LT(exact, before) << source << " at " << at;
    EXPECT_LT(exact, after) << source << " at " << at;
  }
}

// A picture fits the thumbnail by the size it is shown at: stored pixels
// that are wider or narrower than square (an anamorphic DVD picture, PAL DV)
// take their shown shape. Above and below a wide picture the margin colour,
// RGB(166, 202, 240), shows.
TEST(CliThumbnailTest, PicturesFitByTheirShownShapeOnTheMarginColour) {
  kestrova::test::TempDir dir;
  const struct {
    std::string name, source;
    int top;  // first row of the picture: 0 when it fills the box
  } cases[] = {
      // 320x180 fits as 120x68 (rows 11..78).
      {"wide.mp4", "color=c=black:size=320x180:rate=25:duration=1 -c:v libx264 -pix_fmt yuv420p", 11},
      // 720x576 shown at 16:9 also fits as 120x68.
      {"anamorphic.mpg", "color=c=black:size=720x576:rate=25:duration=1,setsar=64/45 -c:v mpeg2video -aspect 16:9", 11},
      // PAL DV: 720x576 shown at 4:3 fills the box.
      {"pal.dv", "color=c=black:size=720x576:rate=25:duration=1 -target pal-dv -an", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto source = dir / c.name;
    kestrova::test::MakeMedia("-f lavfi -i " + c.source, source);
    auto out = dir / (c.name + ".jpg");
    auto result = RunCommand(Cli("thumbnail " + ShellQuote(source.string()) + " --at 00:00:00.000 -o " +
                                 ShellQuote(out.string())));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::string rgb = RawRgb(out);
    ASSERT_EQ(rgb.size(), 120u * 90 * 3);
    auto pixel = [&](int x, int y, int c) { return int(uint8_t(rgb[(size_t(y) * 120 + x) * 3 + c])); };
    // Nearer the margin colour than the picture's black (JPEG blurs edges).
    auto margin = [&](int x, int y) {
      const int toMargin = std::abs(pixel(x, y, 0) - 166) + std::abs(pixel(x, y, 1) - 202) +
                           std::abs(pixel(x, y, 2) - 240);
      return toMargin < pixel(x, y, 0) + pixel(x, y, 1) + pixel(x, y, 2);
    };
    // The rows a few pixels beyond the picture's edges, and its corners' columns.
    if (c.top > 0) {
      for (int y : {c.top - 3, 89 - c.top + 3}) EXPECT_TRUE(margin(60, y)) << y;
    }
    for (int y : {c.top + 3, 45, 89 - c.top - 3})
      for (int x : {1, 60, 118}) EXPECT_FALSE(margin(x, y)) << x << "," << y;
    for (int ch = 0; ch < 3; ++ch) EXPECT_LT(pixel(60, 45, ch), 30);
  }
}

}  // namespace
