// Damaged files, made at test time, through kestrova-cli convert, probe and
// play: each ends with a clear error or a partial result, never a crash or a
// hang, and a failed conversion leaves nothing at the output name.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

std::string Cli(const std::string& arguments) {
  // A hang shows as the timeout's exit code instead of stalling the suite.
  return "timeout 120 " + ShellQuote((BinDir() / "kestrova-cli").string()) + " " + arguments + " 2>&1";
}

size_t Find(const std::string& data, const std::string& what) {
  const size_t at = data.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  return at == std::string::npos ? 0 : at;
}

struct DamagedFile {
  std::string name;
  std::string ffmpegArgs;  // empty: make stands for the whole making
  std::function<void(std::string&)> damage;
  std::function<void(const std::filesystem::path&)> make;
};

const DamagedFile kCorpus[] = {
    // Grows from 2 to many streams mid-file.
    {"bit-flipped.ts",
     "-f lavfi -i testsrc=size=640x480:rate=25 -f lavfi -i sine=sample_rate=44100 -t 10 -c:v libx264 "
     "-preset ultrafast -c:a aac -f mpegts",
     [](std::string& d) { Scramble(d, d.size() / 3, 200 * 1024, 20); }, nullptr},
    // The index at the end is cut in half.
    {"cut-moov.mp4",
     "-f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i sine=sample_rate=22050 -t 3 -c:v libx264 "
     "-preset ultrafast -c:a aac",
     [](std::string& d) { d.resize(Find(d, "moov") + (d.size() - Find(d, "moov")) / 2); }, nullptr},
    {"bad-cluster.mkv",
     "-f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i sine=sample_rate=22050 -t 3 -c:v libx264 "
     "-preset ultrafast -c:a aac",
     [](std::string& d) {
       // The blocks just after the first cluster's header.
       Scramble(d, Find(d, "\x1f\x43\xb6\x75") + 16, 4096, 3);
     },
     nullptr},
};

// The index is overwritten: to the player the file ends as it opens, which
// once raced the end's report against the start's and lost it now and then.
const DamagedFile kBadIndexAvi = {"bad-index.avi", "", nullptr, MakeAviWithBadIndex};

// Neither killed by a signal nor stopped by the timeout.
void ExpectCleanEnd(const CommandResult& r, const std::string& what) {
  EXPECT_LT(r.exitCode, 124) << what << "\n" << r.output.substr(r.output.size() > 4000 ? r.output.size() - 4000 : 0);
  EXPECT_NE(r.exitCode, -1) << what;
}

void ExpectEachEndsCleanly(const DamagedFile& file) {
  TempDir dir;
  SCOPED_TRACE(file.name);
  const auto damaged = dir / file.name;
  if (file.make) {
    file.make(damaged);
  } else {
    const auto clean = dir / ("clean-" + file.name);
    MakeMedia(file.ffmpegArgs, clean);
    std::string data = ReadFile(clean);
    file.damage(data);
    WriteFile(damaged, data);
  }

  const auto target = dir / (file.name + ".out.mp4");
  auto r = RunCommand(Cli("convert " + ShellQuote(damaged.string()) + " " + ShellQuote(target.string())));
  ExpectCleanEnd(r, "convert");
  if (r.exitCode == 0)
    EXPECT_NE(FfprobeValue("format=nb_streams", target), "0");  // a readable, maybe partial, result
  else
    EXPECT_FALSE(std::filesystem::exists(target));

  ExpectCleanEnd(RunCommand(Cli("probe " + ShellQuote(damaged.string()))), "probe");
  ExpectCleanEnd(RunCommand(Cli("play " + ShellQuote(damaged.string()) + " --no-audio")), "play");
}

TEST(CliDamagedMedia, ConvertProbeAndPlayEndCleanly) {
  for (const DamagedFile& file : kCorpus) ExpectEachEndsCleanly(file);
}

TEST(CliDamagedMedia, AviWithABadIndexEndsCleanly) {
  ExpectEachEndsCleanly(kBadIndexAvi);
  // Playing it ended on its own only now and then: several runs show it.
  TempDir dir;
  const auto file = dir / "bad-index.avi";
  MakeAviWithBadIndex(file);
  for (int run = 0; run < 6; ++run) {
    ExpectCleanEnd(RunCommand(Cli("play " + ShellQuote(file.string()) + " --no-audio")), "play, run " + std::to_string(run));
  }
}

}  // namespace
