// Handlers that call back into the engine: every event the engine raises,
// against every call a host makes from inside its handler, for a batch on
// worker threads (events on the host's thread and on the tasks' own) and for
// one in the calling thread. Each case must finish and leave no thread
// behind; the batch ends (or the engine is gone, when destroyed).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "engine_run.h"
#include "engine_test_env.h"
#include "hang_guard.h"
#include "media/engine/options_error.h"
#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

enum class Raised { Progress, PreviewBitmap, TaskEnd, BatchEnd, CustomHook };
enum class Made { Stop, StopWaiting, Destroy, Pause, ClearTasks };
enum class Mode { ThreadsEventsToHost, ThreadsEventsOnTasks, CallingThread };

const char* NameOf(Raised raised) {
  static const char* const names[] = {"OnProgress", "OnPreviewBitmap", "OnTerminate(task)", "OnTerminate(batch)",
                                      "OnCustomHook"};
  return names[static_cast<int>(raised)];
}
const char* NameOf(Made made) {
  static const char* const names[] = {"Stop(false)", "Stop(true)", "destroy", "Pause", "ClearTasks"};
  return names[static_cast<int>(made)];
}
const char* NameOf(Mode mode) {
  static const char* const names[] = {"worker threads, events on the host's thread",
                                      "worker threads, events on the tasks' threads", "the calling thread"};
  return names[static_cast<int>(mode)];
}

// Handlers that run on a task's own thread in the middle of its work: the
// engine cannot be destroyed from them (the task runs on under them).
bool InsideTaskWork(Raised raised, Mode mode) {
  if (raised == Raised::CustomHook) return true;
  return (raised == Raised::Progress || raised == Raised::PreviewBitmap) && mode != Mode::ThreadsEventsToHost;
}

// Two seconds: long enough for progress and preview reports before the end.
const std::filesystem::path& Clip() {
  static const std::filesystem::path clip = [] {
    auto path = SharedMedia().folder / "reentry.mp4";
    MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=44100 -t 2 "
              "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac",
              path);
    return path;
  }();
  return clip;
}

class ReentryCase {
 public:
  ReentryCase(Raised raised, Made made, Mode mode) : raised_(raised), made_(made), mode_(mode) {
    engine_ = std::make_unique<media::TFFmpegEngine>(&host_);
    engine_->SetTriggerEventInMainThread(mode != Mode::ThreadsEventsOnTasks);
    engine_->SetProgressInterval(100);
    engine_->SetPreviewBitmap(true);
    engine_->SetOnProgress([this](media::TCustomFFmpegEngine& e, media::PProgressInfo) {
      if (raised_ == Raised::Progress) Fire(e);
    });
    engine_->SetOnPreviewBitmap([this](media::TCustomFFmpegEngine& e, const media::TPreviewInfo&) {
      if (raised_ == Raised::PreviewBitmap) Fire(e);
    });
    engine_->SetOnCustomHook([this](media::TCustomFFmpegEngine& e, media::PHookInfo) {
      if (raised_ == Raised::CustomHook) Fire(e);
    });
    engine_->SetOnTerminate([this](media::TCustomFFmpegEngine& e, const media::TTerminateInfo& info) {
      if (info.TaskIndex == -1) batchEnded_ = true;
      if ((raised_ == Raised::TaskEnd && info.TaskIndex >= 0) || (raised_ == Raised::BatchEnd && info.TaskIndex == -1))
        Fire(e);
    });
  }

  void Run() {
    for (int i = 0; i < 2; ++i) {
      int task = engine_->AddTask(Clip().string());
      ASSERT_GE(task, 0) << engine_->LastErrorMessage();
      media::TOutputOptions o;
      o.VideoCodec = "libx264";
      o.VideoPreset = "libx264-default";
      o.AudioCodec = "libfaac";
      o.CustomHook = true;
      ASSERT_TRUE(engine_->SetOutputFile(task, (out_ / ("out" + std::to_string(i) + ".mp4")).string(), &o))
          << engine_->LastErrorMessage();
    }
    engine_->StartTask(mode_ == Mode::CallingThread ? 0 : 1);
    ASSERT_TRUE(host_.PumpUntil([&] { return returned_.load(); }, std::chrono::seconds(120)))
        << "the handler never made its call";
    if (made_ == Made::Destroy) {
      EXPECT_FALSE(engine_);
      return;
    }
    if (made_ == Made::Pause) engine_->Resume();
    EXPECT_TRUE(host_.PumpUntil([&] { return batchEnded_.load(); }, std::chrono::seconds(120)));
    if (made_ == Made::ClearTasks) {
      // Only an ended batch may be cleared; before that the call is refused.
      if (raised_ == Raised::BatchEnd) {
        EXPECT_EQ(refusal_, "");
        EXPECT_EQ(engine_->TaskCount(), 0);
      } else if (refusal_.empty()) {
        // The last task's own report may come after the batch was marked ended.
        EXPECT_EQ(raised_, Raised::TaskEnd);
      } else {
        EXPECT_EQ(refusal_, "Cannot ClearTasks while working.");
      }
    }
    engine_.reset();
  }

  // Every thread of the batch has ended.
  bool ThreadsBackTo(int count) {
    return host_.PumpUntil([&] { return ProcessThreadCount() <= count; }, std::chrono::seconds(60));
  }

 private:
  // The call, made once, from inside the handler.
  void Fire(media::TCustomFFmpegEngine& engine) {
    if (fired_.exchange(true)) return;
    switch (made_) {
      case Made::Stop:
        engine.Stop(false);
        break;
      case Made::StopWaiting:
        engine.Stop(true);
        break;
      case Made::Destroy:
        engine_.reset();
        break;
      case Made::Pause:
        engine.Pause();
        break;
      case Made::ClearTasks:
        try {
          engine.ClearTasks();
        } catch (const media::FFmpegException& e) {
          std::lock_guard lock(mutex_);
          refusal_ = e.what();
        }
        break;
    }
    returned_ = true;
    host_.Nudge();
  }

  Raised raised_;
  Made made_;
  Mode mode_;
  TempDir out_;
  media::HandOver host_;  // this thread hosts the engine
  std::unique_ptr<media::TFFmpegEngine> engine_;
  std::atomic<bool> fired_{false}, returned_{false}, batchEnded_{false};
  std::mutex mutex_;
  std::string refusal_;
};

TEST(EngineReentryTest, EveryHandlerMayMakeEveryCall) {
  LoadEngineLibrariesOrFail();
  (void)Clip();
  for (Mode mode : {Mode::ThreadsEventsToHost, Mode::ThreadsEventsOnTasks, Mode::CallingThread}) {
    for (Raised raised :
         {Raised::Progress, Raised::PreviewBitmap, Raised::TaskEnd, Raised::BatchEnd, Raised::CustomHook}) {
      for (Made made : {Made::Stop, Made::StopWaiting, Made::Destroy, Made::Pause, Made::ClearTasks}) {
        if (made == Made::Destroy && InsideTaskWork(raised, mode)) continue;  // see the test below
        const std::string name = std::string(NameOf(made)) + " from " + NameOf(raised) + ", " + NameOf(mode);
        SCOPED_TRACE(name);
        HangGuard guard(name, std::chrono::seconds(180));
        const int threadsBefore = ProcessThreadCount();
        ReentryCase reentry(raised, made, mode);
        reentry.Run();
        EXPECT_TRUE(reentry.ThreadsBackTo(threadsBefore))
            << ProcessThreadCount() << " threads, " << threadsBefore << " before";
      }
    }
  }
}

// Destroying the engine under a task's running work is refused loudly, not
// left to hang or to run on in freed memory.
TEST(EngineReentryDeathTest, DestroyingFromInsideATasksWorkEndsTheProgramWithItsReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LoadEngineLibrariesOrFail();
  (void)Clip();
  for (auto [raised, mode] : {std::pair{Raised::CustomHook, Mode::ThreadsEventsToHost},
                              std::pair{Raised::Progress, Mode::ThreadsEventsOnTasks},
                              std::pair{Raised::Progress, Mode::CallingThread}}) {
    SCOPED_TRACE(std::string(NameOf(raised)) + ", " + NameOf(mode));
    EXPECT_DEATH(
        {
          ReentryCase reentry(raised, Made::Destroy, mode);
          reentry.Run();
        },
        "destroyed from a handler that runs inside a task's work");
  }
}

}  // namespace
