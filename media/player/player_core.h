// The player component's own state behind TCustomPlayer: settings, handlers,
// the event ring and its thread, the play thread with the SDL event loop,
// and the open pipeline. Internal to the player.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/bitmap.h"
#include "media/bitmap_converter.h"
#include "media/hand_over.h"
#include "media/player/manual_event.h"
#include "media/player/pipeline.h"
#include "media/player/player.h"
#include "media/probe.h"

namespace media::player {

enum RingKind { kRingPosition = 1, kRingState = 2, kRingQuit = 3 };
struct RingEntry {
  RingKind kind = kRingPosition;
  TPlayState state = psStop;
  int64_t position = 0;
};
constexpr int kRingSize = 10;

struct PlayerCore {
  PlayerCore(TCustomPlayer& component, HandOver* hostHandOver) : owner(component), handOver(hostHandOver) {}

  TCustomPlayer& owner;
  HandOver* handOver;

  // Settings the threads read while playing.
  std::atomic<float> aspectRatio{0};
  std::atomic<int> volume{128};
  std::atomic<bool> mute{false}, hook{false}, disableVideo{false}, disableAudio{false}, disableDisplay{false};
  std::atomic<bool> triggerInMainThread{true};
  int frameWidth = 0, frameHeight = 0;
  int screenWidth = 0, screenHeight = 0;  // the drawing size the event loop uses

  // Handlers: copied under the lock, called without it.
  mutable std::mutex handlerMutex;
  TFileOpenEvent onFileOpen;
  THookEvent onHook;
  TPositionEvent onPosition;
  TPlayStateEvent onState;
  TPlayerKeyEvent onKey;
  TAudioOutputEvent onAudioOutput;
  template <class Handler>
  Handler Copy(const Handler& handler) const {
    std::lock_guard lock(handlerMutex);
    return handler;
  }

  // Serialises the event loop's handling of one event against a forced close.
  std::timed_mutex playerLock;
  // Changed only with both locks held; the event loop reads it under
  // playerLock, other threads take a reference under pipelineMutex.
  mutable std::mutex pipelineMutex;
  std::shared_ptr<Pipeline> pipeline;
  std::shared_ptr<Pipeline> Current() const {
    std::lock_guard lock(pipelineMutex);
    return pipeline;
  }
  std::atomic<bool> sdlStarted{false};

  // The event loop's own queue. SDL's queue is only polled for the events of
  // the player's own window: waiting on it without a video driver that can
  // block would wake the loop every millisecond.
  std::mutex loopMutex;
  std::condition_variable loopChanged;
  std::deque<LoopEvent> loopEvents;
  void PostLoopEvent(LoopEventType type, const void* pipeline);
  bool NextLoopEvent(LoopEvent& event, std::chrono::milliseconds wait);

  ManualEvent seekSettled{true}, pictureQueued{true}, playDone{true};

  // The event ring, read by the event thread: positions coalesce (only the
  // latest matters), states never do (the host acts on each).
  std::mutex ringMutex;
  std::deque<RingEntry> ring;
  ManualEvent ringNotEmpty{false};
  std::thread eventThread, playThread;
  std::atomic<bool> eventThreadDone{true};

  std::unique_ptr<Display> ownDisplay;
  Display* display = nullptr;

  mutable std::mutex errorMutex;
  std::string lastError;

  std::atomic<int64_t> lastReported{INT64_MIN}, currentPosition{-1};
  std::atomic<TPlayState> state{psStop};
  // Orders the play thread's psPlay before an opened-paused psPause and
  // before the end of a file that ends at once (the video thread may find
  // the end before the play thread has started).
  std::mutex playReportMutex;
  bool playReported = false;
  bool pauseHeldBack = false;
  bool endHeldBack = false;
  std::atomic<int> shown{0}, dropped{0}, avSamples{0};
  std::atomic<int64_t> avSumUs{0}, avMaxUs{0};

  // The picture on screen, for capture.
  std::mutex shownMutex;
  int videoWidth = 0, videoHeight = 0;  // of the open file's video decoder, 0 without
  int64_t startTimeUs = 0;
  FramePtr shownFrame;
  double shownPts = 0;
  TBitmapConverter captureConverter, hookConverter;
  Bitmap emptyBitmap;

  TAVProbe probe;

  void Error(const std::string& text, bool keep);
  void LogMessage(int level, const std::string& text);
  void SetState(TPlayState next);
  // The pause of a file opened paused, once its first pictures are queued.
  // It is reported after the play thread's psPlay: a pause reached before
  // that thread started waits for it, so the last state the host hears is
  // the pause.
  void ReportOpenedPaused();
  // psEnd, after the play thread's psPlay like the pause above.
  void ReportEnd();
  // Reports next now when the play thread has reported psPlay, else marks it
  // held back for that thread to report after its psPlay.
  void ReportAfterPlay(TPlayState next, bool& heldBack);
  void PostRing(const RingEntry& entry);
  void EventThread();
  void PlayThread();
  void EventLoop();
  void CloseStreamLocked();  // playerLock held
  void ResetRunningState();
  void JoinEventThread();
  void UpdatePosition(Pipeline& pipe);
  void RunHook(Pipeline& pipe, AVFrame* picture, double pts);
  void RememberShown(const AVFrame* picture, double pts);
  void Deliver(const std::function<void()>& raise);
  void DeliverKey(TPlayerKey key);
  // Runs the host's hand-over while waiting, when on the host's thread.
  bool WaitServing(const std::function<bool()>& done, std::chrono::milliseconds step);
};

}  // namespace media::player
