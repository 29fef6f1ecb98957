// The player component's own state behind TCustomPlayer: settings, handlers,
// the event ring and its thread, the play thread with the SDL event loop,
// and the open pipeline. Internal to the player.
//
// The component holds it through a shared pointer, and so does the event
// thread while it runs and every report on its way to the host: a host that
// destroys the player from inside a handler leaves the state to whoever
// still runs in it, and the last of them frees it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "media/bitmap.h"
#include "media/bitmap_converter.h"
#include "media/hand_over.h"
#include "media/player/manual_event.h"
#include "media/player/pipeline.h"
#include "media/player/player.h"
#include "media/probe.h"
#include "media/waited_deliveries.h"

namespace media::player {

enum RingKind { kRingPosition = 1, kRingState = 2, kRingKey = 3 };
struct RingEntry {
  RingKind kind = kRingPosition;
  TPlayState state = psStop;
  int64_t position = 0;
  TPlayerKey key = pkPause;
};
constexpr int kRingSize = 10;

// What OnFileOpen asked for while Open was still on its way: carried out
// once the handler has returned.
struct AfterOpen {
  struct Request {
    std::string fileName;
    Display* display = nullptr;
    bool paused = false;
  };
  std::optional<Request> open;
  std::optional<bool> stop;  // with waiting or not
  bool destroyed = false;
};

struct PlayerCore : std::enable_shared_from_this<PlayerCore> {
  // sender: the component, as its log lines name it.
  PlayerCore(const void* sender, HandOver* hostHandOver) : sender(sender), handOver(hostHandOver) {}

  const void* const sender;
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
  void ClearHandlers();

  // Whether a handler of this player runs further up this thread's stack.
  bool InsideReport() const;
  bool OnMediaThread() const;  // inside OnHook or OnAudioOutput

  // Set while OnFileOpen runs: Open, Stop and destruction asked for in it
  // wait until Open is through.
  std::atomic<bool> opening{false};
  AfterOpen afterOpen;

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

  // The event ring, read by the event thread, which runs from the first Open
  // until the player goes: positions coalesce (only the latest matters),
  // states never do (the host acts on each).
  std::mutex ringMutex;
  std::condition_variable ringChanged;
  std::deque<RingEntry> ring;
  bool delivering = false;        // an entry taken from the ring is being delivered
  bool eventThreadEnding = false;  // the player is going: deliver no more
  bool eventThreadJoined = false;  // the host waits for its end (and may be nudged)
  std::thread eventThread, playThread;
  // Held while Open stores the play thread's handle: the play thread takes it
  // once before its first report, so a handler that stops the player from
  // that report finds the handle stored, not half-assigned.
  std::mutex playThreadStoring;
  std::atomic<bool> eventThreadDone{false};
  WaitedDeliveries deliveries;  // reports the event thread waits for

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
  // A pause: of a file opened paused, once its first pictures are queued,
  // or one asked for by the host. It is reported after the play thread's
  // psPlay: a pause reached before that thread started waits for it, so the
  // last state the host hears is the pause.
  void ReportOpenedPaused();
  // psEnd, after the play thread's psPlay like the pause above.
  void ReportEnd();
  // Reports next now when the play thread has reported psPlay, else marks it
  // held back for that thread to report after its psPlay.
  void ReportAfterPlay(TPlayState next, bool& heldBack);
  // A resume: psPlay, or a pause held back that no longer applies.
  void ReportResumed();
  void PostRing(const RingEntry& entry);
  void StartEventThread();
  void EventThread();
  // Hands one report to the host, or raises it here (see Deliver).
  void DeliverEntry(const RingEntry& entry);
  // Until the reports posted so far have reached the host (so the last
  // run's psStop comes before the next run's psPlay). Not from a handler.
  void WaitReportsDelivered();
  // Ends the event thread: joined, or let go when it is this thread.
  void EndEventThread();
  void PlayThread();
  void EventLoop();
  void CloseStreamLocked();  // playerLock held
  void ResetRunningState();
  // Stops playback; with wait, returns once the play thread has ended, the
  // file is closed and SDL is shut down.
  void Stop(bool wait);
  // Everything the destructor does: handlers off, playback stopped, the
  // event thread ended.
  void Shutdown();
  void UpdatePosition(Pipeline& pipe);
  void RunHook(Pipeline& pipe, AVFrame* picture, double pts);
  void RememberShown(const AVFrame* picture, double pts);
  // Runs a report handler call: through the host's hand-over when events
  // are wanted on the host's thread (waiting for it, or for the player's
  // end), otherwise here. The call owns what it uses.
  void Deliver(std::function<void()> raise);
  void DeliverKey(TPlayerKey key);
  // Runs the host's hand-over while waiting, when on the host's thread.
  bool WaitServing(const std::function<bool()>& done, std::chrono::milliseconds step);
};

}  // namespace media::player
