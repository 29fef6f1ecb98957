// TCustomPlayer: opening a file into a display, stopping (with waiting that
// keeps serving the host's hand-over), seeking and the properties.
#include "media/player/player.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "media/display_rotation.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/player/player_core.h"
#include "media/player/sdl_window_display.h"
#include "media/utils.h"

namespace media {

using player::PlayerCore;

namespace {

// SDL's driver names, in the order of the enumerations.
const char* const kAudioDriverNames[] = {"", "dsound", "waveout"};
const char* const kVideoDriverNames[] = {"", "directx", "windib"};

}  // namespace

bool PlayerCore::WaitServing(const std::function<bool()>& done, std::chrono::milliseconds step) {
  if (handOver && handOver->OnHostThread()) return handOver->PumpUntil(done, step);
  const auto until = std::chrono::steady_clock::now() + step;
  while (!done() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

void PlayerCore::Stop(bool wait) {
  std::shared_ptr<player::Pipeline> pipe = Current();
  auto pushQuit = [&] { PostLoopEvent(player::kQuitEvent, pipe.get()); };
  if (pipe) {
    if (pipe->paused) pipe->TogglePause();
    pushQuit();
    if (wait) {
      // In steps of 100 ms, serving the host's hand-over meanwhile: the event
      // and play threads may be waiting for the host. A loop that does not
      // answer is pushed again, then the file is closed from here.
      for (int step = 0;;) {
        if (WaitServing([&] { return playDone.IsSet(); }, std::chrono::milliseconds(100))) break;
        if (!Current()) break;
        std::unique_lock lock(playerLock, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(100))) continue;
        ++step;
        if (step <= 10 || (step <= 20 && !pipe->reading)) {
          pushQuit();
          continue;
        }
        CloseStreamLocked();
        break;
      }
    }
  }
  if (!wait) return;
  if (playThread.joinable()) {
    // After a close from here the loop ends at its next event.
    PostLoopEvent(player::kRefreshEvent, nullptr);
    while (!WaitServing([&] { return playDone.IsSet(); }, std::chrono::milliseconds(100))) {
      PostLoopEvent(player::kRefreshEvent, nullptr);
    }
    playThread.join();
  }
  if (Current()) {
    // No play thread came to close the file (Open did not get that far).
    std::lock_guard lock(playerLock);
    CloseStreamLocked();
  }
  pipe.reset();
  ownDisplay.reset();
  display = nullptr;
  if (sdlStarted) {
    Av().SDL_Quit();
    sdlStarted = false;
  }
}

void PlayerCore::Shutdown() {
  ClearHandlers();
  // The event thread first lets go of a report it waits for: the host may
  // be destroying the player from inside that very report.
  {
    std::lock_guard lock(ringMutex);
    eventThreadEnding = true;
  }
  ringChanged.notify_all();
  deliveries.ReleaseAll();
  Stop(true);
  EndEventThread();
}

TCustomPlayer::TCustomPlayer(HandOver* hostHandOver) : core_(std::make_shared<PlayerCore>(this, hostHandOver)) {
  core_->ResetRunningState();
}

TCustomPlayer::~TCustomPlayer() {
  PlayerCore& core = *core_;
  if (core.OnMediaThread()) {
    // Playback cannot end from one of the threads it is made of, and the
    // host's display must not be drawn into once this returns.
    const char* const text =
        "TCustomPlayer destroyed from OnHook or OnAudioOutput: they run on the player's own threads, which its "
        "destruction waits for";
    core.Error(text, true);
    std::fprintf(stderr, "kestrova: %s\n", text);
    std::abort();
  }
  if (core.opening) {
    // From inside OnFileOpen: Open, still on its way further down this
    // thread, ends the rest once the handler has returned (it holds the
    // state meanwhile).
    core.ClearHandlers();
    core.afterOpen.destroyed = true;
    return;
  }
  core.Shutdown();
}

bool TCustomPlayer::LibrariesLoaded() const { return FFmpegLoader().Loaded(PlayerLibraries); }

bool TCustomPlayer::LoadLibraries(const std::string& path) {
  // Callers name the folder with or without its final separator.
  FFmpegLoader().SetLibraryPath(path.empty() || path.back() == '/' ? path : path + "/");
  if (FFmpegLoader().Load(PlayerLibraries)) return true;
  std::lock_guard lock(core_->errorMutex);
  core_->lastError = FFmpegLoader().LastError();
  return false;
}

bool TCustomPlayer::Open(const std::string& fileName, player::Display* display, bool paused) {
  // Held to the end: OnFileOpen may destroy the component.
  const std::shared_ptr<PlayerCore> keep = core_;
  PlayerCore& core = *keep;
  if (core.OnMediaThread()) {
    core.Error("Open cannot be called from OnHook or OnAudioOutput: they run on the player's own threads, which "
               "the stop before an open waits for",
               true);
    return false;
  }
  if (core.opening) {
    // From inside OnFileOpen: once the open under way is through.
    core.afterOpen.open = player::AfterOpen::Request{fileName, display, paused};
    return true;
  }
  if (!LibrariesLoaded()) {
    core.Error("libav or libsdl not loaded.", true);
    return false;
  }
  core.Stop(true);
  core.WaitReportsDelivered();  // the last run's psStop reaches the host before this run's psPlay
  {
    std::lock_guard lock(core.loopMutex);
    core.loopEvents.clear();
  }
  // The default drivers leave the environment (and SDL's own choice) alone.
  if (AudioDriver != adDefault) setenv("SDL_AUDIODRIVER", kAudioDriverNames[AudioDriver], 1);
  if (VideoDriver != vdDefault) setenv("SDL_VIDEODRIVER", kVideoDriverNames[VideoDriver], 1);

  if (DisableDisplay) DisableVideo = true;
  core.disableAudio = DisableAudio;
  core.disableVideo = DisableVideo;
  core.disableDisplay = DisableDisplay;
  core.triggerInMainThread = TriggerEventInMainThread;
  core.frameWidth = FrameWidth;
  core.frameHeight = FrameHeight;

  {
    std::lock_guard lock(core.shownMutex);
    ResetConverter(core.captureConverter);
  }
  ResetConverter(core.hookConverter);  // no video thread runs now
  core.shown = core.dropped = core.avSamples = 0;
  core.avSumUs = core.avMaxUs = 0;
  core.ownDisplay.reset();
  core.display = display;
  if (!display && !DisableDisplay) {
    // Titled with the file's name, as a person switching windows looks for it.
    core.ownDisplay = player::MakeSdlWindowDisplay(std::filesystem::path(fileName).filename().string());
    core.display = core.ownDisplay.get();
  }
  uint32_t subsystems = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_EVENTS;
  if (core.display && core.display->OwnWindow()) subsystems |= SDL_INIT_VIDEO;
  if (Av().SDL_Init(subsystems) < 0) {
    core.Error(StringPrintf("Could not initialize SDL with ScreenHandle(%u): %s",
                            unsigned(reinterpret_cast<uintptr_t>(display)), Av().SDL_GetError()),
               true);
    core.ownDisplay.reset();
    core.display = nullptr;
    return false;
  }
  core.sdlStarted = true;
  const char* audioDriver = Av().SDL_GetCurrentAudioDriver();
  const char* videoDriver = Av().SDL_GetCurrentVideoDriver();
  core.LogMessage(llDebug, StringPrintf("using audio driver: %s\n", audioDriver ? audioDriver : ""));
  core.LogMessage(llDebug, StringPrintf("using video driver: %s\n", videoDriver ? videoDriver : ""));
  Av().SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
  Av().SDL_EventState(SDL_SYSWMEVENT, SDL_IGNORE);

  auto pipe = std::make_shared<player::Pipeline>(core);
  pipe->fileName = fileName;
  pipe->startAtUs = std::max<int64_t>(0, StartPosition);
  if (paused) {
    pipe->paused = true;
    pipe->openPausedCountdown = 1;
    pipe->stillWanted = 1;
  }
  // Published before any of its threads runs: OnHook and OnAudioOutput may
  // stop or pause it from the first picture or sound on, before Open is
  // through (the play thread takes the request once it starts).
  {
    std::lock_guard lock(core.pipelineMutex);
    core.pipeline = pipe;
  }
  pipe->readThread = std::thread([raw = pipe.get()] { raw->ReadThread(); });
  while (!core.WaitServing([&] { return pipe->status != 0; }, std::chrono::milliseconds(10))) {
  }
  if (pipe->status < 0) {
    {
      std::lock_guard lock(core.pipelineMutex);
      core.pipeline.reset();
    }
    pipe->Close();  // the read thread has cleaned up; this joins it
    pipe.reset();
    core.ResetRunningState();
    Av().SDL_Quit();
    core.sdlStarted = false;
    core.ownDisplay.reset();
    core.display = nullptr;
    return false;
  }
  if (!pipe->videoStream && !DisableDisplay && core.display) pipe->showMode = player::kShowWaveform;
  if (pipe->showMode == player::kShowVideoFailed) pipe->showMode = player::kShowNone;
  // The picture's size as shown: a clip stored turned is shown upright.
  const int turn = pipe->videoStream ? DisplayRotationOf(pipe->videoStream) : 0;
  const bool sideways = turn == 90 || turn == 270;
  const int decodedWidth = pipe->videoDecoder ? pipe->videoDecoder->width : 0;
  const int decodedHeight = pipe->videoDecoder ? pipe->videoDecoder->height : 0;
  const int shownWidth = sideways ? decodedHeight : decodedWidth;
  const int shownHeight = sideways ? decodedWidth : decodedHeight;
  {
    std::lock_guard lock(core.shownMutex);
    core.videoWidth = shownWidth;
    core.videoHeight = shownHeight;
    core.startTimeUs = pipe->startTimeUs;
  }
  const int64_t duration = pipe->stillImage ? 0 : pipe->durationUs;
  const bool hasPicture = decodedWidth > 0;
  const int frameWidth = hasPicture ? shownWidth : -1;
  const int frameHeight = hasPicture ? shownHeight : -1;
  // The period is chosen here, while the streams are surely open: the read
  // thread may close them as soon as a Close aborts the pipeline.
  const int refreshPeriodMs = !pipe->videoStream && pipe->showMode != player::kShowNone ? 20 : 5;
  pipe->refreshThread = std::thread([raw = pipe.get(), refreshPeriodMs] { raw->RefreshThread(refreshPeriodMs); });

  core.StartEventThread();

  if (TFileOpenEvent handler = core.Copy(core.onFileOpen)) {
    // The handler owns what it is given: it may run on the host's thread
    // while this one waits, and may destroy the component.
    auto screen = std::make_shared<std::pair<int, int>>(ScreenWidth, ScreenHeight);
    core.opening = true;
    try {
      core.Deliver([handler, screen, duration, frameWidth, frameHeight] {
        handler(duration, frameWidth, frameHeight, screen->first, screen->second);
      });
    } catch (const std::exception& e) {
      core.Error(std::string("Error occurs in an event handler: ") + e.what(), false);
    }
    core.opening = false;
    if (core.afterOpen.destroyed) {
      // The component is gone: only its state is left to end.
      core.afterOpen = {};
      core.Shutdown();
      return false;
    }
    ScreenWidth = screen->first;
    ScreenHeight = screen->second;
  }
  if (display && (ScreenWidth == 0 || ScreenHeight == 0)) {
    ScreenWidth = display->Width();
    ScreenHeight = display->Height();
  }
  core.screenWidth = ScreenWidth;
  core.screenHeight = ScreenHeight;

  core.playDone.Reset();
  {
    std::lock_guard stored(core.playThreadStoring);
    core.playThread = std::thread([&core] { core.PlayThread(); });
  }

  // What OnFileOpen asked for, now that the open is through.
  player::AfterOpen asked = std::move(core.afterOpen);
  core.afterOpen = {};
  if (asked.open) return Open(asked.open->fileName, asked.open->display, asked.open->paused);
  if (asked.stop) Stop(*asked.stop);
  return true;
}

void TCustomPlayer::Stop(bool wait) {
  PlayerCore& core = *core_;
  if (wait && core.OnMediaThread()) {
    // The wait would be for the very thread this runs on: asked only.
    core.Error("Stop cannot wait when called from OnHook or OnAudioOutput: they run on the player's own threads; "
               "the player was asked to stop",
               true);
    wait = false;
  }
  if (core.opening) {
    // From inside OnFileOpen: once the open under way is through.
    core.afterOpen.stop = core.afterOpen.stop.value_or(false) || wait;
    return;
  }
  core.Stop(wait);
}

void TCustomPlayer::Seek(uint8_t flags, int64_t position) {
  std::shared_ptr<player::Pipeline> pipe = core_->Current();
  if (!pipe) return;
  if (flags & AVSEEK_FLAG_BYTE) {
    pipe->RequestSeek(position, 0, flags);
    return;
  }
  int64_t target = pipe->durationUs > 0 ? std::min(position, pipe->durationUs) : position;
  target += pipe->startTimeUs;
  pipe->RequestSeek(target, position <= 0 ? 1 : 0, flags);
}

void TCustomPlayer::TogglePause() {
  std::shared_ptr<player::Pipeline> pipe = core_->Current();
  if (!pipe) return;
  pipe->TogglePause();
  if (pipe->paused)
    core_->ReportOpenedPaused();
  else
    core_->ReportResumed();
}

std::string TCustomPlayer::LastErrorMessage() const {
  std::lock_guard lock(core_->errorMutex);
  return core_->lastError;
}

TPlayState TCustomPlayer::State() const { return core_->state; }
bool TCustomPlayer::Paused() const {
  std::shared_ptr<player::Pipeline> pipe = core_->Current();
  return pipe && pipe->paused;
}
int64_t TCustomPlayer::CurrentPosition() const { return core_->currentPosition; }
TPlayerCounters TCustomPlayer::Counters() const {
  return TPlayerCounters{core_->shown, core_->dropped, core_->avSumUs, core_->avMaxUs, core_->avSamples};
}

float TCustomPlayer::AspectRatio() const { return core_->aspectRatio; }
void TCustomPlayer::SetAspectRatio(float value) {
  if (core_->aspectRatio.exchange(value) == value) return;
  if (core_->Current()) {
    core_->PostLoopEvent(player::kAspectEvent, nullptr);
  }
}
int TCustomPlayer::AudioVolume() const { return core_->volume; }
void TCustomPlayer::SetAudioVolume(int value) { core_->volume = std::clamp(value, 0, SDL_MIX_MAXVOLUME); }
bool TCustomPlayer::Mute() const { return core_->mute; }
void TCustomPlayer::SetMute(bool value) { core_->mute = value; }
bool TCustomPlayer::Hook() const { return core_->hook; }
void TCustomPlayer::SetHook(bool value) { core_->hook = value; }

template <class Handler>
static void Assign(PlayerCore& core, Handler& slot, Handler value) {
  std::lock_guard lock(core.handlerMutex);
  slot = std::move(value);
}
void TCustomPlayer::SetOnFileOpen(TFileOpenEvent handler) { Assign(*core_, core_->onFileOpen, std::move(handler)); }
void TCustomPlayer::SetOnHook(THookEvent handler) { Assign(*core_, core_->onHook, std::move(handler)); }
void TCustomPlayer::SetOnPosition(TPositionEvent handler) { Assign(*core_, core_->onPosition, std::move(handler)); }
void TCustomPlayer::SetOnState(TPlayStateEvent handler) { Assign(*core_, core_->onState, std::move(handler)); }
void TCustomPlayer::SetOnKey(TPlayerKeyEvent handler) { Assign(*core_, core_->onKey, std::move(handler)); }
void TCustomPlayer::SetOnAudioOutput(TAudioOutputEvent handler) {
  Assign(*core_, core_->onAudioOutput, std::move(handler));
}

}  // namespace media
