// The play thread: SDL's event loop, which shows pictures on the refresh
// event, handles the window of its own (keys, resizes, closing) and closes
// the file on the quit event.
#include "media/logger.h"
#include "media/player/player_core.h"

namespace media::player {
namespace {

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
  SetState(psPlay);
  try {
    EventLoop();
  } catch (const std::exception& e) {
    LogMessage(llFatal, std::string("PlayThread Exception: ") + e.what());
    std::lock_guard lock(playerLock);
    CloseStreamLocked();
  }
  SetState(psStop);
  playDone.Set();
  if (handOver) handOver->Nudge();
}

void PlayerCore::DeliverKey(TPlayerKey key) {
  if (!Copy(onKey)) return;
  auto raise = [this, key] {
    if (TPlayerKeyEvent handler = Copy(onKey)) handler(key);
  };
  if (triggerInMainThread && handOver) {
    handOver->Post(raise);  // keys need no answer: nothing waits for the host
  } else {
    raise();
  }
}

void PlayerCore::EventLoop() {
  for (;;) {
    SDL_Event event{};
    if (!Av().SDL_WaitEvent(&event)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    bool keyPressed = false;
    TPlayerKey key = pkQuit;
    {
      std::lock_guard lock(playerLock);
      Pipeline* pipe = pipeline.get();
      if (!pipe) return;
      if (event.type == SDL_QUIT || (event.type == kQuitEvent && event.user.data1 == pipe)) {
        CloseStreamLocked();
        return;
      }
      if (event.type == kRefreshEvent) {
        if (event.user.data1 == pipe) {
          pipe->Refresh(true);
          pipe->refreshPending = false;
        }
      } else if (event.type == kAspectEvent) {
        pipe->OpenSurface(true);
        pipe->ShowCurrent();
      } else if (event.type == SDL_WINDOWEVENT) {
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
          screenWidth = event.window.data1;
          screenHeight = event.window.data2;
          pipe->OpenSurface(false);
          pipe->ShowCurrent();
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
          pipe->ShowCurrent();
        }
      } else if (event.type == SDL_KEYDOWN) {
        keyPressed = KeyOf(event, key);
      }
    }
    if (keyPressed) DeliverKey(key);
  }
}

}  // namespace media::player
