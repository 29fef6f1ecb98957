// The terminal tool's command line: options and file names in any order, as
// users type them.
#include <gtest/gtest.h>

#include "cli/command.h"
#include "media_fixture.h"
#include "process.h"

using kestrova::cli::Arguments;
using kestrova::cli::SplitCommandLine;
using Words = std::vector<std::string>;

TEST(CliArguments, ReadsOptionsAndFilesInAnyOrder) {
  const struct {
    const char* what;
    Words words;
    Words flags;
    Words positionals;
    std::vector<std::pair<std::string, Words>> options;
  } cases[] = {
      {"a flag before a file name", {"--paused", "clip.mov"}, {"paused"}, {"clip.mov"}, {{"paused", {""}}}},
      {"a flag before another option", {"--paused", "--start", "5", "a.mp4"}, {"paused"}, {"a.mp4"},
       {{"paused", {""}}, {"start", {"5"}}}},
      {"--name=value", {"--preset=3", "a.mp4"}, {}, {"a.mp4"}, {{"preset", {"3"}}}},
      {"a value holding =", {"--opt", "vcodec=mpeg4"}, {}, {}, {{"opt", {"vcodec=mpeg4"}}}},
      {"a repeated option", {"--opt", "a=1", "x", "--opt", "b=2"}, {}, {"x"}, {{"opt", {"a=1", "b=2"}}}},
      {"a missing value at the end", {"a.mp4", "--start"}, {}, {"a.mp4"}, {{"start", {""}}}},
      {"a missing value before an option", {"--start", "--end", "4"}, {}, {}, {{"start", {""}}, {"end", {"4"}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Arguments args(c.words, c.flags);
    EXPECT_EQ(args.positionals(), c.positionals);
    for (const auto& [name, values] : c.options) {
      EXPECT_TRUE(args.has(name)) << name;
      EXPECT_EQ(args.values(name), values) << name;
      EXPECT_EQ(args.value(name), values.back()) << name;
    }
    EXPECT_FALSE(args.has("absent"));
    EXPECT_EQ(args.value("absent", "fallback"), "fallback");
  }
}

TEST(CliArguments, VerboseMayComeBeforeTheCommand) {
  auto split = SplitCommandLine({"--verbose", "probe", "a.mp4"});
  EXPECT_EQ(split.command, "probe");
  EXPECT_EQ(split.rest, (Words{"--verbose", "a.mp4"}));
  EXPECT_EQ(SplitCommandLine({"--verbose"}).command, "");

  using namespace kestrova::test;
  auto r = RunCommand(ShellQuote((BinDir() / "kestrova-cli").string()) + " --verbose probe " +
                      ShellQuote(SharedMedia().mp4.string()) + " 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("h264"), std::string::npos) << r.output;
}

TEST(CliMessages, PlayNamesAnUnreadableFileOnceInChinese) {
  using namespace kestrova::test;
  const std::string file = SharedMedia().truncated.string();
  auto r = RunCommand("SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy " +
                      ShellQuote((BinDir() / "kestrova-cli").string()) + " play " + ShellQuote(file) + " 2>&1");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_EQ(r.output, "kestrova-cli play：无法读取此文件：" + file + ": Invalid data found when processing input\n");
}
