// Handlers that call back into the player: every handler the player raises,
// against every call a host makes from inside it, with the events on the
// host's thread and on the player's own. Each case must finish, leave the
// player usable (or gone, when destroyed) and leave no thread behind.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "hang_guard.h"
#include "media/entry_points.h"
#include "media/logger.h"
#include "media_fixture.h"
#include "player_fixture.h"

using namespace media;
using kestrova::test::HangGuard;
using kestrova::test::PlayerRig;
using kestrova::test::ProcessThreadCount;
using kestrova::test::SharedMedia;
using kestrova::test::SharedPlayerMedia;

namespace {

enum class Raised { FileOpen, Position, Playing, Ended, Key, Hook, AudioOutput };
enum class Made { Open, Stop, StopWaiting, Destroy, Seek, Pause };

const char* NameOf(Raised raised) {
  static const char* const names[] = {"OnFileOpen", "OnPosition",   "OnState(psPlay)", "OnState(psEnd)",
                                      "OnKey",      "OnHook",       "OnAudioOutput"};
  return names[static_cast<int>(raised)];
}
const char* NameOf(Made made) {
  static const char* const names[] = {"Open", "Stop(false)", "Stop(true)", "destroy", "Seek", "TogglePause"};
  return names[static_cast<int>(made)];
}

// OnHook and OnAudioOutput run on the threads that playback is made of.
bool OnMediaThread(Raised raised) { return raised == Raised::Hook || raised == Raised::AudioOutput; }

// The states the host heard, from whichever thread delivers them.
class StateLog {
 public:
  void Add(TPlayState state) {
    std::lock_guard lock(mutex_);
    states_.push_back(state);
  }
  size_t Size() const {
    std::lock_guard lock(mutex_);
    return states_.size();
  }
  bool HeardSince(size_t from, TPlayState state) const {
    std::lock_guard lock(mutex_);
    for (size_t i = from; i < states_.size(); ++i)
      if (states_[i] == state) return true;
    return false;
  }
  std::string Text() const {
    static const char* const names[] = {"play", "pause", "resume", "step", "stop", "end"};
    std::lock_guard lock(mutex_);
    std::string text;
    for (TPlayState s : states_) text += std::string(text.empty() ? "" : " ") + names[s];
    return text;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<TPlayState> states_;
};

class ReentryCase {
 public:
  ReentryCase(Raised raised, Made made, bool mainThread) : raised_(raised), made_(made) {
    player_ = rig_.player.get();
    player_->TriggerEventInMainThread = mainThread;
    // The key case plays in the player's own window, where keys come from;
    // its clip is long enough to get a key in while it plays.
    ownWindow_ = raised == Raised::Key;
    clip_ = ownWindow_ ? SharedMedia().mp4.string() : SharedPlayerMedia().red.string();
    player_->SetOnState([this](TPlayState state) {
      states_.Add(state);
      if ((raised_ == Raised::Playing && state == psPlay) || (raised_ == Raised::Ended && state == psEnd)) Fire();
    });
    player_->SetOnPosition([this](int64_t) {
      if (raised_ == Raised::Position) Fire();
    });
    player_->SetOnFileOpen([this](int64_t, int, int, int&, int&) {
      if (raised_ == Raised::FileOpen) Fire();
    });
    player_->SetOnKey([this](TPlayerKey) {
      if (raised_ == Raised::Key) Fire();
    });
    if (raised_ == Raised::Hook) {
      player_->SetHook(true);
      player_->SetOnHook([this](Bitmap&, int64_t) { Fire(); });
    }
    if (raised_ == Raised::AudioOutput) {
      player_->SetOnAudioOutput([this](const int16_t*, int, int, int, int64_t) { Fire(); });
    }
  }

  void Run() {
    const bool opened = player_->Open(clip_, Display(), false);
    if (raised_ == Raised::FileOpen && made_ == Made::Destroy) {
      EXPECT_FALSE(opened);  // gone before it could play
      return;
    }
    ASSERT_TRUE(opened) << player_->LastErrorMessage();
    if (raised_ == Raised::Key) {
      ASSERT_TRUE(rig_.PumpUntil([&] { return states_.HeardSince(0, psPlay); }));
      SDL_Event key{};
      key.type = SDL_KEYDOWN;
      key.key.keysym.sym = SDLK_p;
      ASSERT_EQ(Av().SDL_PushEvent(&key), 1) << Av().SDL_GetError();
    }
    ASSERT_TRUE(rig_.PumpUntil([&] { return returned_.load(); })) << "the handler never made its call";
    if (made_ == Made::Destroy) return;
    if (OnMediaThread(raised_) && (made_ == Made::Open || made_ == Made::StopWaiting)) {
      // These wait for the thread the handler runs on: refused with a reason.
      EXPECT_NE(player_->LastErrorMessage().find("OnHook or OnAudioOutput"), std::string::npos)
          << player_->LastErrorMessage();
      if (made_ == Made::Open) {
        EXPECT_FALSE(opened_);
      }
    }
    switch (made_) {
      case Made::Open:
        if (!OnMediaThread(raised_)) {
          EXPECT_TRUE(opened_) << player_->LastErrorMessage();
          // The file opened again plays to its end.
          EXPECT_TRUE(rig_.PumpUntil([&] { return states_.HeardSince(heardAtCall_, psEnd); }))
              << states_.Text();
        }
        break;
      case Made::Stop:
      case Made::StopWaiting:
        EXPECT_TRUE(rig_.PumpUntil([&] { return states_.HeardSince(heardAtCall_, psStop); })) << states_.Text();
        break;
      case Made::Pause:
        EXPECT_TRUE(rig_.PumpUntil([&] { return states_.HeardSince(heardAtCall_, psPause); })) << states_.Text();
        break;
      default:
        break;
    }
    // Still the host's to use: a stop from here ends what is left.
    player_->Stop(true);
    EXPECT_TRUE(rig_.PumpUntil([&] { return states_.HeardSince(heardAtCall_, psStop); })) << states_.Text();
    rig_.player.reset();
  }

  // Every thread of the playback has ended.
  bool ThreadsBackTo(int count) {
    return rig_.PumpUntil([&] { return ProcessThreadCount() <= count; });
  }

 private:
  player::Display* Display() { return ownWindow_ ? nullptr : rig_.surface.get(); }

  // The call, made once, from inside the handler.
  void Fire() {
    if (fired_.exchange(true)) return;
    heardAtCall_ = states_.Size();
    switch (made_) {
      case Made::Open:
        opened_ = player_->Open(clip_, Display(), false);
        break;
      case Made::Stop:
        player_->Stop(false);
        break;
      case Made::StopWaiting:
        player_->Stop(true);
        break;
      case Made::Destroy:
        rig_.player.reset();
        break;
      case Made::Seek:
        player_->Seek(0, 500000);
        break;
      case Made::Pause:
        player_->TogglePause();
        break;
    }
    returned_ = true;
  }

  Raised raised_;
  Made made_;
  PlayerRig rig_;
  TFFPlayer* player_;
  bool ownWindow_ = false;
  std::string clip_;
  StateLog states_;
  std::atomic<bool> fired_{false}, returned_{false}, opened_{false};
  std::atomic<size_t> heardAtCall_{0};
};

TEST(PlayerReentryTest, EveryHandlerMayMakeEveryCall) {
  // The libraries and media first, so that the count of threads below is
  // the count between cases.
  { PlayerRig warmUp; }
  (void)SharedPlayerMedia();
  (void)SharedMedia();
  for (Raised raised : {Raised::FileOpen, Raised::Position, Raised::Playing, Raised::Ended, Raised::Key,
                        Raised::Hook, Raised::AudioOutput}) {
    for (bool mainThread : {true, false}) {
      if (OnMediaThread(raised) && !mainThread) continue;  // they run where they run
      for (Made made : {Made::Open, Made::Stop, Made::StopWaiting, Made::Destroy, Made::Seek, Made::Pause}) {
        if (made == Made::Destroy && OnMediaThread(raised)) continue;  // see the test below
        const std::string name = std::string(NameOf(made)) + " from " + NameOf(raised) +
                                 (mainThread ? " on the host's thread" : " on the player's thread");
        SCOPED_TRACE(name);
        HangGuard guard(name, std::chrono::seconds(90));
        const int threadsBefore = ProcessThreadCount();
        {
          ReentryCase reentry(raised, made, mainThread);
          reentry.Run();
          EXPECT_TRUE(reentry.ThreadsBackTo(threadsBefore)) << ProcessThreadCount() << " threads, " << threadsBefore
                                                            << " before: " << kestrova::test::ProcessThreadNames();
        }
      }
    }
  }
}

// The player cannot be destroyed from the threads it is made of: refused
// loudly, never a hang.
TEST(PlayerReentryDeathTest, DestroyingFromAMediaThreadEndsTheProgramWithItsReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (Raised raised : {Raised::Hook, Raised::AudioOutput}) {
    SCOPED_TRACE(NameOf(raised));
    EXPECT_DEATH(
        {
          ReentryCase reentry(raised, Made::Destroy, true);
          reentry.Run();
        },
        "destroyed from OnHook or OnAudioOutput");
  }
}

}  // namespace
