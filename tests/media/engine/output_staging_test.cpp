// Outputs are written beside their names and renamed over them once their
// trailer is written: a finished or stopped task leaves its playable file and
// nothing else, a failing one leaves what was at the name before, byte for
// byte, and no hidden file either.
#include "media/engine/output_staging.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "engine_run.h"
#include "engine_test_env.h"
#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

namespace fs = std::filesystem;

const std::string kOldBytes = "an earlier output that must survive a failed run";

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The hidden file an output named `name` is written as, or "" while there is none.
fs::path StagingFileOf(const fs::path& folder, const std::string& name) {
  for (const std::string& entry : NamesIn(folder))
    if (entry.rfind("." + name + ".", 0) == 0 && entry.size() > 5 && entry.compare(entry.size() - 5, 5, ".part") == 0)
      return folder / entry;
  return {};
}

// A 20 s clip: long enough to stop its conversion half way on any machine.
const fs::path& TwentySeconds() {
  static TempDir folder;
  static const fs::path clip = [] {
    fs::path path = folder / "twenty.mp4";
    MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25:duration=20 -f lavfi -i sine=sample_rate=44100:duration=20 "
              "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest",
              path);
    return path;
  }();
  return clip;
}

media::TOutputOptions Encoded() {
  media::TOutputOptions o;
  o.VideoCodec = "libx264";
  o.AudioCodec = "libfaac";
  return o;
}

media::TOutputOptions Copied() {
  media::TOutputOptions o;
  o.VideoCodec = "copy";
  o.AudioCodec = "copy";
  return o;
}

// Lets this process write files of at most `bytes` while it lives (a full
// disk, as far as the writer can tell): writes beyond fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &before_);
    oldSignal_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &before_);
    signal(SIGXFSZ, oldSignal_);
  }

 private:
  rlimit before_{};
  sighandler_t oldSignal_;
};

class OutputStagingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadEngineLibrariesOrFail(); }

  void AddTask(const fs::path& input, const std::string& name, const media::TOutputOptions& o) {
    const int task = engine.AddTask(input.string());
    ASSERT_GE(task, 0) << engine.LastErrorMessage();
    ASSERT_TRUE(engine.SetOutputFile(task, (out / name).string(), &o)) << engine.LastErrorMessage();
  }

  media::HandOver handOver;  // this thread is the engine's host
  media::TFFmpegEngine engine{&handOver};
  BatchRecorder recorder;
  TempDir out;
};

TEST(OutputStagingNames, FilesAreStagedBesideThemselvesAndEverythingElseIsOpenedDirectly) {
  TempDir dir;
  WriteFile(dir / "real.mp4", kOldBytes);
  fs::create_symlink(dir / "real.mp4", dir / "link.mp4");
  const struct {
    std::string name;
    std::string target;
  } cases[] = {
      {"plain.mp4", "plain.mp4"},
      {(dir / "new.mp4").string(), (dir / "new.mp4").string()},
      {(dir / "real.mp4").string(), (dir / "real.mp4").string()},
      {"file:" + (dir / "new.mp4").string(), (dir / "new.mp4").string()},
      {(dir / "link.mp4").string(), (dir / "real.mp4").string()},  // the link stays a link
      {"pipe:1", ""},
      {"http://example.com/out.mp4", ""},
      {"/dev/null", ""},
      {dir.path().string(), ""},  // a folder: the open fails as it always did
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(media::StagedOutputTarget(c.name), c.target) << c.name;

  const fs::path staging = media::StagingNameFor((dir / "clip.mp4").string());
  EXPECT_EQ(staging.parent_path(), dir.path());
  const std::string name = staging.filename().string();
  EXPECT_EQ(name.rfind(".clip.mp4.", 0), 0u) << name;
  EXPECT_EQ(name.size(), std::string(".clip.mp4.XXXXXX.part").size()) << name;
  EXPECT_EQ(name.substr(name.size() - 5), ".part");
  EXPECT_NE(media::StagingNameFor((dir / "clip.mp4").string()), staging.string());
  // A name near the file system's limit still leaves room for the additions.
  std::string longName;
  while (longName.size() < 240) longName += "视频";
  EXPECT_LE(fs::path(media::StagingNameFor((dir / (longName + ".mp4")).string())).filename().string().size(), 255u);
}

TEST_F(OutputStagingTest, FinishedAndStoppedTasksLeaveOnlyTheirPlayableFile) {
  recorder.Attach(engine);
  for (bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stopped" : "finished");
    const std::string name = stop ? "stopped.mp4" : "finished.mp4";
    WriteFile(out / name, kOldBytes);
    recorder.ended = false;
    recorder.reports.clear();
    media::TOutputOptions o = Encoded();
    if (stop) o.VideoPreset = "libx264-veryslow";
    AddTask(stop ? TwentySeconds() : SharedMedia().mp4, name, o);
    engine.StartTask(1);
    if (stop) {
      // Under way: the hidden file grows while the name keeps its old bytes.
      fs::path staging;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (!recorder.ended && std::chrono::steady_clock::now() < deadline) {
        staging = StagingFileOf(out.path(), name);
        std::error_code ec;
        if (!staging.empty() && fs::file_size(staging, ec) > 2000) break;
        handOver.Pump(std::chrono::milliseconds(10));
      }
      ASSERT_FALSE(recorder.ended) << "the task ended before it could be stopped";
      EXPECT_EQ(ReadFile(out / name), kOldBytes);
      engine.Stop(true);
    }
    ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
    const media::TTerminateInfo report = recorder.Report(0);
    EXPECT_FALSE(report.Exception) << report.ExceptionMsg;
    EXPECT_EQ(report.Finished, !stop);
    engine.ClearTasks();

    EXPECT_EQ(NamesIn(out.path()), std::vector<std::string>{name});
    const double seconds = std::atof(FfprobeValue("format=duration", out / name).c_str());
    if (stop) {
      EXPECT_GT(seconds, 0.0);
      EXPECT_LT(seconds, 19.0);
    } else {
      EXPECT_NEAR(seconds, 3.0, 0.1);
    }
    const CommandResult decoded = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote((out / name).string()) + " -f null - 2>&1");
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.output, "");
    fs::remove(out / name);
  }
}

TEST_F(OutputStagingTest, FailingTasksLeaveTheOldFileAsItWasAndNoHiddenFile) {
  recorder.Attach(engine);
  // The size a whole copy of the clip comes to, to fail at its very end.
  AddTask(SharedMedia().mp4, "whole.mp4", Copied());
  engine.StartTask(1);
  ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
  engine.ClearTasks();
  const auto wholeSize = static_cast<rlim_t>(fs::file_size(out / "whole.mp4"));
  fs::remove(out / "whole.mp4");
  ASSERT_GT(wholeSize, 40000u);

  const struct {
    const char* what;
    media::TOutputOptions options;
    rlim_t sizeLimit;  // 0: none
    const char* message;
  } cases[] = {
      // (H.263 rather than H.264: the H.264 library leaks a little when it refuses.)
      {"the encoder refuses the frame size", [] { auto o = Encoded(); o.VideoCodec = "h263"; o.FrameSize = "321x241"; return o; }(), 0, ""},
      {"writing fails after the header", Copied(), 16 * 1024, "av_interleaved_write_frame"},
      {"the trailer can't be written", Copied(), wholeSize - 100, "Could not finish output file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(out / "kept.mp4", kOldBytes);
    recorder.ended = false;
    recorder.reports.clear();
    AddTask(SharedMedia().mp4, "kept.mp4", c.options);
    {
      std::optional<FileSizeLimit> limit;
      if (c.sizeLimit > 0) limit.emplace(c.sizeLimit);
      engine.StartTask(1);
      ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
    }
    const media::TTerminateInfo report = recorder.Report(0);
    EXPECT_TRUE(report.Exception);
    EXPECT_FALSE(report.Finished);
    EXPECT_NE(report.ExceptionMsg.find(c.message), std::string::npos) << report.ExceptionMsg;
    engine.ClearTasks();
    EXPECT_EQ(NamesIn(out.path()), std::vector<std::string>{"kept.mp4"});
    EXPECT_EQ(ReadFile(out / "kept.mp4"), kOldBytes);
  }
}

TEST_F(OutputStagingTest, ATaskThatNeverRunsLeavesNothing) {
  recorder.Attach(engine);
  AddTask(SharedMedia().mp4, "never.mp4", Encoded());
  EXPECT_FALSE(StagingFileOf(out.path(), "never.mp4").empty());  // opened when the output was set
  EXPECT_FALSE(fs::exists(out / "never.mp4"));
  engine.ClearTasks();
  EXPECT_TRUE(fs::is_empty(out.path()));
}

}  // namespace
