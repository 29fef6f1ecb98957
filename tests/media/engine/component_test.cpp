// The engine component's task list and events: batches on worker threads and
// in the calling thread, the working checks, limits and property rules.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine_run.h"
#include "engine_test_env.h"
#include "media/engine/options_error.h"
#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const media::FFmpegException& e) {
    return e.what();
  }
  return "";
}

class ComponentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadEngineLibrariesOrFail(); }

  // A task converting the shared 3-second clip into out/NAME.
  int AddConversion(const std::string& name) {
    int task = engine.AddTask(SharedMedia().mp4.string());
    EXPECT_GE(task, 0) << engine.LastErrorMessage();
    media::TOutputOptions o;
    o.VideoCodec = "libx264";
    o.VideoPreset = "libx264-medium";
    o.AudioCodec = "libfaac";
    EXPECT_TRUE(engine.SetOutputFile(task, (out / name).string(), &o)) << engine.LastErrorMessage();
    return task;
  }

  media::HandOver handOver;  // this thread is the engine's host
  media::TFFmpegEngine engine{&handOver};
  BatchRecorder recorder;
  TempDir out;
};

TEST_F(ComponentTest, TwoWorkersRunFiveTasksAndReportSixTimes) {
  recorder.Attach(engine);
  for (int i = 0; i < 5; ++i) AddConversion("t" + std::to_string(i) + ".mp4");
  engine.StartTask(2);
  int mostAtOnce = 0;
  bool thirdWaited = true;
  while (!recorder.ended) {
    int running = 0;
    for (int i = 0; i < engine.TaskCount(); ++i) running += engine.Task(i)->Running() ? 1 : 0;
    mostAtOnce = std::max(mostAtOnce, running);
    if (mostAtOnce == 0 && engine.Task(2)->Running()) thirdWaited = false;
    handOver.Pump(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(mostAtOnce, 2);
  EXPECT_TRUE(thirdWaited);
  std::lock_guard<std::mutex> guard(recorder.lock);
  ASSERT_EQ(recorder.reports.size(), 6u);
  EXPECT_EQ(recorder.reports.back().TaskIndex, -1);
  EXPECT_TRUE(recorder.reports.back().Finished);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(recorder.reports[i].Finished) << recorder.reports[i].ExceptionMsg;
    EXPECT_GE(recorder.reports[i].TaskIndex, 0);
  }
  for (int i = 0; i < 5; ++i)
    EXPECT_NEAR(std::atof(FfprobeValue("format=duration", out / ("t" + std::to_string(i) + ".mp4")).c_str()), 3.0, 0.1);
}

TEST_F(ComponentTest, CallingThreadRunReturnsAfterEveryReport) {
  recorder.Attach(engine);
  std::thread::id reporter;
  engine.SetOnTerminate([&](media::TCustomFFmpegEngine&, const media::TTerminateInfo& info) {
    reporter = std::this_thread::get_id();
    std::lock_guard<std::mutex> guard(recorder.lock);
    recorder.reports.push_back(info);
  });
  AddConversion("a.mp4");
  AddConversion("b.mp4");
  engine.StartTask(0);
  ASSERT_EQ(recorder.reports.size(), 3u);
  EXPECT_EQ(recorder.reports[0].TaskIndex, 0);
  EXPECT_EQ(recorder.reports[1].TaskIndex, 1);
  EXPECT_EQ(recorder.reports[2].TaskIndex, -1);
  EXPECT_EQ(reporter, std::this_thread::get_id());
  EXPECT_TRUE(engine.AllTerminated());
}

TEST_F(ComponentTest, OperationsAreRefusedWhileWorking) {
  AddConversion("w.mp4");
  engine.StartTask(0);
  EXPECT_EQ(ErrorOf([&] { engine.AddTask(SharedMedia().mp4.string()); }), "Cannot AddTask while working.");
  EXPECT_EQ(ErrorOf([&] { engine.SetOutputFile(0, (out / "x.mp4").string()); }),
            "Cannot SetOutputFile while working.");
  EXPECT_EQ(ErrorOf([&] { engine.RemoveTask(0); }), "Cannot RemoveTask while working.");
  EXPECT_EQ(ErrorOf([&] { engine.StartTask(0); }), "Cannot StartTask while working.");
  EXPECT_EQ(ErrorOf([&] { engine.ClearTasks(); }), "");  // the batch has ended
  EXPECT_EQ(engine.TaskCount(), 0);
  EXPECT_GE(AddConversion("again.mp4"), 0);
}

TEST_F(ComponentTest, ClearTasksIsRefusedWhileTasksRun) {
  recorder.Attach(engine);
  AddConversion("busy.mp4");
  engine.StartTask(1);
  EXPECT_EQ(ErrorOf([&] { engine.ClearTasks(); }), "Cannot ClearTasks while working.");
  ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
  EXPECT_EQ(ErrorOf([&] { engine.ClearTasks(); }), "");
}

TEST_F(ComponentTest, StopReportsRunningAndWaitingTasks) {
  recorder.Attach(engine);
  for (int i = 0; i < 3; ++i) AddConversion("s" + std::to_string(i) + ".mp4");
  engine.StartTask(1);
  while (!engine.Task(0)->Running() && !recorder.ended) handOver.Pump(std::chrono::milliseconds(1));
  engine.Stop(true);
  ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
  std::lock_guard<std::mutex> guard(recorder.lock);
  ASSERT_EQ(recorder.reports.size(), 4u);
  EXPECT_EQ(recorder.reports.back().TaskIndex, -1);
  for (int i = 1; i < 3; ++i) {
    auto r = std::find_if(recorder.reports.begin(), recorder.reports.end(),
                          [i](const media::TTerminateInfo& t) { return t.TaskIndex == i; });
    ASSERT_NE(r, recorder.reports.end());
    EXPECT_FALSE(r->Finished);
    EXPECT_FALSE(r->Exception);
  }
  // The waiting tasks never started: a task that runs, even one stopped at
  // once, leaves its file under its name.
  EXPECT_TRUE(std::filesystem::exists(out / "s0.mp4"));
  EXPECT_FALSE(std::filesystem::exists(out / "s1.mp4"));
  EXPECT_FALSE(std::filesystem::exists(out / "s2.mp4"));
}

TEST_F(ComponentTest, ClearingTheListFromTheBatchEndReportIsSafe) {
  engine.SetOnTerminate([&](media::TCustomFFmpegEngine& e, const media::TTerminateInfo& info) {
    if (info.TaskIndex == -1) e.ClearTasks();
  });
  AddConversion("c.mp4");
  engine.StartTask(0);
  EXPECT_EQ(engine.TaskCount(), 0);
  EXPECT_FALSE(engine.Working());
  EXPECT_GE(AddConversion("c2.mp4"), 0);
}

TEST_F(ComponentTest, PauseHoldsTheLoopAndResumeLetsItFinish) {
  recorder.Attach(engine);
  engine.SetTriggerEventInMainThread(false);
  engine.SetProgressInterval(100);
  std::atomic<int64_t> converted{0};
  engine.SetOnProgress([&](media::TCustomFFmpegEngine&, media::PProgressInfo p) { converted = p->CurrentDuration; });
  MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25 -t 20 -c:v libx264 -preset ultrafast -pix_fmt yuv420p",
            out / "twenty.mp4");
  int task = engine.AddTask((out / "twenty.mp4").string());
  media::TOutputOptions o;
  o.VideoCodec = "libx264";
  o.VideoPreset = "libx264-veryslow";  // long enough to pause halfway
  ASSERT_TRUE(engine.SetOutputFile(task, (out / "paused.mp4").string(), &o)) << engine.LastErrorMessage();
  engine.StartTask(1);
  while (converted == 0 && !recorder.ended) handOver.Pump(std::chrono::milliseconds(1));
  engine.Pause();
  EXPECT_TRUE(engine.Task(0)->Suspended());
  // The packet in hand when the pause came is finished first; on a busy
  // machine that takes a while, so wait until the count stands still.
  int64_t held = converted;
  for (int i = 0; i < 50; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (converted == held) break;
    held = converted;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(converted, held);  // no packet was processed while paused
  EXPECT_FALSE(recorder.ended);
  engine.Resume();
  ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
  EXPECT_TRUE(recorder.Report(0).Finished);
}

TEST_F(ComponentTest, EmptyBatchEndsAtOnce) {
  recorder.Attach(engine);
  engine.StartTask(0);
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].TaskIndex, -1);
  EXPECT_EQ(ErrorOf([&] { engine.ClearTasks(); }), "");
}

TEST_F(ComponentTest, TwentyFirstOutputIsRefused) {
  int task = engine.AddTask(SharedMedia().mp4.string());
  ASSERT_GE(task, 0);
  for (int i = 0; i < 20; ++i) {
    media::TOutputOptions o;
    o.VideoCodec = "libx264";
    ASSERT_TRUE(engine.SetOutputFile(task, (out / ("o" + std::to_string(i) + ".mp4")).string(), &o))
        << i << ": " << engine.LastErrorMessage();
  }
  EXPECT_FALSE(engine.SetOutputFile(task, (out / "o20.mp4").string()));
  EXPECT_EQ(engine.LastErrorMessage(), "max output files 20 reached");
}

TEST_F(ComponentTest, FailedOpensReportTheReasonAndLeaveNoFile) {
  EXPECT_EQ(engine.AddTask((out / "missing.mp4").string()), -1);
  EXPECT_EQ(engine.LastErrorMessage(), (out / "missing.mp4").string() + ": No such file or directory");
  media::TInputOptions in;
  in.ExtOptions = "threads=4";
  EXPECT_EQ(engine.AddTask(SharedMedia().mp4.string(), &in), -1);
  EXPECT_EQ(engine.LastErrorMessage(), "TODO: option - threads");
  int task = engine.AddTask(SharedMedia().mp4.string());
  media::TOutputOptions o;
  o.VideoCodec = "no-such-encoder";
  EXPECT_FALSE(engine.SetOutputFile(task, (out / "bad.mp4").string(), &o));
  EXPECT_EQ(engine.LastErrorMessage(), "new_video_stream fail: Unknown encoder 'no-such-encoder'");
  EXPECT_FALSE(std::filesystem::exists(out / "bad.mp4"));
  task = engine.AddTask(SharedMedia().mp4.string());
  EXPECT_FALSE(engine.SetOutputFile(task, (out / "no-such-folder" / "x.mp4").string()));
  EXPECT_EQ(engine.LastErrorMessage(), "Could not open '" + (out / "no-such-folder" / "x.mp4").string() +
                                           "': No such file or directory");
}

TEST_F(ComponentTest, ProgressIntervalHasAFloorAndReportsEndWithMinusOne) {
  engine.SetProgressInterval(50);
  EXPECT_EQ(engine.ProgressInterval(), 100);
  std::vector<media::TProgressInfo> reports;
  engine.SetTriggerEventInMainThread(false);
  engine.SetOnProgress([&](media::TCustomFFmpegEngine&, media::PProgressInfo p) { reports.push_back(*p); });
  AddConversion("p.mp4");
  engine.StartTask(0);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().FileIndex, -1);
  EXPECT_EQ(reports.back().TaskIndex, 0);
  EXPECT_GT(reports.back().CurrentSize, 0);
  EXPECT_NEAR(reports.back().CurrentDuration, 3000000, 100000);
  EXPECT_NEAR(reports.back().TotalDuration, 3000000, 100000);
  for (size_t i = 0; i + 1 < reports.size(); ++i) EXPECT_EQ(reports[i].FileIndex, 0);
}

// A host that notes when work is waiting for it.
class WatchedHandOver : public media::HandOver {
 public:
  std::atomic<bool> woken{false};

 protected:
  void Wake() override { woken = true; }
};

TEST_F(ComponentTest, DestroyingARunningEngineWhileAReportWaitsForTheHostEnds) {
  WatchedHandOver host;
  std::atomic<bool> handled{false};
  auto doomed = std::make_unique<media::TFFmpegEngine>(&host);
  doomed->SetProgressInterval(100);
  doomed->SetPreviewBitmap(true);
  doomed->SetOnProgress([&](media::TCustomFFmpegEngine&, media::PProgressInfo) { handled = true; });
  doomed->SetOnPreviewBitmap([&](media::TCustomFFmpegEngine&, const media::TPreviewInfo&) { handled = true; });
  int task = doomed->AddTask(SharedMedia().mp4.string());
  ASSERT_GE(task, 0) << doomed->LastErrorMessage();
  media::TOutputOptions o;
  o.VideoCodec = "libx264";
  o.VideoPreset = "libx264-veryslow";
  ASSERT_TRUE(doomed->SetOutputFile(task, (out / "doomed.mp4").string(), &o)) << doomed->LastErrorMessage();
  doomed->StartTask(1);
  // This thread does not pump: the first report waits for it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!host.woken && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(host.woken);
  doomed.reset();  // used to hang for good here
  EXPECT_FALSE(handled);  // the receiver is gone: no handler ran after the destruction began
}

TEST_F(ComponentTest, StopWithWaitFromInsideItsOwnProgressHandlerEndsTheBatch) {
  for (int threads : {1, 0}) {
    SCOPED_TRACE(threads ? "worker threads" : "calling thread");
    media::HandOver host;
    media::TFFmpegEngine stopping(&host);
    BatchRecorder reports;
    reports.Attach(stopping);
    stopping.SetProgressInterval(100);
    int handled = 0;
    stopping.SetOnProgress([&](media::TCustomFFmpegEngine& e, media::PProgressInfo) {
      if (++handled == 1) e.Stop(true);
    });
    for (int i = 0; i < 3; ++i) {
      int task = stopping.AddTask(SharedMedia().mp4.string());
      media::TOutputOptions o;
      o.VideoCodec = "libx264";
      o.VideoPreset = "libx264-veryslow";
      ASSERT_TRUE(stopping.SetOutputFile(task, (out / ("own" + std::to_string(threads) + std::to_string(i) + ".mp4")).string(), &o));
    }
    stopping.StartTask(threads);
    ASSERT_TRUE(PumpUntilEnded(host, reports));
    std::lock_guard<std::mutex> guard(reports.lock);
    ASSERT_EQ(reports.reports.size(), 4u);
    EXPECT_EQ(reports.reports.back().TaskIndex, -1);
    for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(reports.reports[i].Finished) << i;
    // The calling-thread mode delivers every report on the calling thread,
    // those of the tasks that never started included.
    if (threads == 0) {
      for (size_t i = 0; i < 4; ++i) EXPECT_EQ(reports.threads[i], std::this_thread::get_id()) << i;
    }
  }
}

// A preview window that only counts the pictures it was shown.
class CountingPreviewer : public media::TPreviewer {
 public:
  explicit CountingPreviewer(std::atomic<int>& shown) : shown_(shown) {}
  bool Show(const media::Bitmap&, int, int64_t) override {
    ++shown_;
    return true;
  }

 private:
  std::atomic<int>& shown_;
};

TEST_F(ComponentTest, EachEngineShowsItsPreviewInWindowsFromItsOwnFactory) {
  media::HandOver otherHost;
  media::TFFmpegEngine other{&otherHost};
  BatchRecorder otherRecorder;
  std::atomic<int> made[2] = {0, 0}, shown[2] = {0, 0};
  media::TFFmpegEngine* engines[2] = {&engine, &other};
  for (int e = 0; e < 2; ++e) {
    engines[e]->SetPreview(true);
    engines[e]->SetPreviewerFactory([&, e] {
      ++made[e];
      return std::make_unique<CountingPreviewer>(shown[e]);
    });
  }
  recorder.Attach(engine);
  otherRecorder.Attach(other);
  AddConversion("mine.mp4");
  int task = other.AddTask(SharedMedia().mp4.string());
  ASSERT_GE(task, 0) << other.LastErrorMessage();
  ASSERT_TRUE(other.SetOutputFile(task, (out / "other.mp4").string()));
  engine.StartTask(1);
  other.StartTask(1);
  ASSERT_TRUE(PumpUntilEnded(handOver, recorder));
  ASSERT_TRUE(PumpUntilEnded(otherHost, otherRecorder));
  for (int e = 0; e < 2; ++e) {
    // One window per task, kept for every picture after the first.
    EXPECT_EQ(made[e], 1) << e;
    EXPECT_GE(shown[e], 1) << e;
  }
}

}  // namespace
