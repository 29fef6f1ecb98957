// The play thread: the player's event loop, which shows pictures on the
// refresh event, handles the window of its own (keys, resizes, closing) and
// closes the file on the quit event.
#include "media/logger.h"
#include "media/player/player_core.h"

namespace media::player {
namespace {

constexpr auto kWindowPollPeriod = std::chrono::milliseconds(10);

bool KeyOf(const SDL_Event& event, TPlayerKey& key) {
  switch (event.key.keysym.sym) {
    case SDLK_SPACE:
    case SDLK_p:
      key = pkPause;
      return true;
    case SDLK_LEFT:
      key = pkSeekBack;
      return true;
    case SDLK_RIGHT:
      key = pkSeekForward;
      return true;
    case SDLK_q:
    case SDLK_ESCAPE:
      key = pkQuit;
      return true;
    default:
      return false;
  }
}

}  // namespace

void PlayerCore::PostLoopEvent(LoopEventType type, const void* target) {
  {
    std::lock_guard lock(loopMutex);
    loopEvents.push_back(LoopEvent{type, target});
  }
  loopChanged.notify_one();
}

bool PlayerCore::NextLoopEvent(LoopEvent& event, std::chrono::milliseconds wait) {
  std::unique_lock lock(loopMutex);
  if (!loopChanged.wait_for(lock, wait, [&] { return !loopEvents.empty(); })) return false;
  event = loopEvents.front();
  loopEvents.pop_front();
  return true;
}

void PlayerCore::ResetRunningState() {
  lastReported = INT64_MIN;
  currentPosition = -1;
  seekSettled.Set();
  std::lock_guard lock(shownMutex);
  shownFrame.reset();
  videoWidth = videoHeight = 0;
}

void PlayerCore::CloseStreamLocked() {
  std::shared_ptr<Pipeline> closing;
  {
    std::lock_guard lock(pipelineMutex);
    closing = std::move(pipeline);
  }
  if (closing) closing->Close();
  closing.reset();
  ResetRunningState();
}

void PlayerCore::PlayThread() {
  { std::lock_guard stored(playThreadStoring); }
  {
    std::lock_guard lock(playReportMutex);
    SetState(psPlay);
    playReported = true;
    if (pauseHeldBack) {
      pauseHeldBack = false;
      SetState(psPause);
    }
    if (endHeldBack) {
      endHeldBack = false;
      SetState(psEnd);
    }
  }
  try {
    EventLoop();
  } catch (const std::exception& e) {
    LogMessage(llFatal, std::string("PlayThread Exception: ") + e.what());
    std::lock_guard lock(playerLock);
    CloseStreamLocked();
  }
  {
    // The next open's pause waits for its own play thread again.
    std::lock_guard lock(playReportMutex);
    SetState(psStop);
    playReported = false;
    pauseHeldBack = false;
    endHeldBack = false;
  }
  // SDL keeps per-thread state for the threads that call it (an open or a
  // stop from a handler on the event thread, the window's events here), and
  // frees it only for threads of its own.
  if (Av().SDL_TLSCleanup) Av().SDL_TLSCleanup();
  playDone.Set();
  if (handOver) handOver->Nudge();
}

void PlayerCore::EventLoop() {
  const bool ownWindow = display && display->OwnWindow();
  std::vector<SDL_Event> windowEvents;
  for (;;) {
    LoopEvent event;
    const bool have = NextLoopEvent(event, ownWindow ? kWindowPollPeriod : std::chrono::milliseconds(1000));
    windowEvents.clear();
    if (ownWindow) {
      SDL_Event windowEvent;
      while (Av().SDL_PollEvent(&windowEvent)) windowEvents.push_back(windowEvent);
    }
    std::vector<TPlayerKey> keys;
    {
      std::lock_guard lock(playerLock);
      Pipeline* pipe = pipeline.get();
      if (!pipe) return;
      for (const SDL_Event& windowEvent : windowEvents) {
        if (windowEvent.type == SDL_QUIT) {
          CloseStreamLocked();
          return;
        }
        if (windowEvent.type == SDL_WINDOWEVENT) {
          if (windowEvent.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            screenWidth = windowEvent.window.data1;
            screenHeight = windowEvent.window.data2;
            pipe->OpenSurface(false);
            pipe->ShowCurrent();
          } else if (windowEvent.window.event == SDL_WINDOWEVENT_EXPOSED) {
            pipe->ShowCurrent();
          }
        } else if (windowEvent.type == SDL_KEYDOWN) {
          TPlayerKey key;
          if (KeyOf(windowEvent, key)) keys.push_back(key);
        }
      }
      if (have) {
        if (event.type == kQuitEvent && event.pipeline == pipe) {
          CloseStreamLocked();
          return;
        }
        if (event.type == kRefreshEvent && event.pipeline == pipe) {
          pipe->Refresh(true);
          pipe->refreshPending = false;
        } else if (event.type == kAspectEvent) {
          pipe->OpenSurface(true);
          pipe->ShowCurrent();
        }
      }
    }
    for (TPlayerKey key : keys) DeliverKey(key);
  }
}

}  // namespace media::player
