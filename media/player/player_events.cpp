// State changes, positions and the end of the file, and their way to the
// host: a ring where consecutive positions are coalesced (a slow host sees
// only the latest) and states never are, read by the event thread, which
// raises the host's handlers without holding any lock.
#include <algorithm>

#include "media/logger.h"
#include "media/player/call_scope.h"
#include "media/player/player_core.h"
#include "media/utils.h"

namespace media::player {

void PlayerCore::Error(const std::string& text, bool keep) {
  FFLogger().Log(sender, llError, text);
  if (keep) {
    std::lock_guard lock(errorMutex);
    lastError = text;
  }
}

void PlayerCore::LogMessage(int level, const std::string& text) { FFLogger().Log(sender, TLogLevel(level), text); }

void PlayerCore::ClearHandlers() {
  std::lock_guard lock(handlerMutex);
  onFileOpen = nullptr;
  onPosition = nullptr;
  onState = nullptr;
  onHook = nullptr;
  onKey = nullptr;
  onAudioOutput = nullptr;
}

bool PlayerCore::InsideReport() const { return CallScope::Inside(this, HandlerKind::kReport); }
bool PlayerCore::OnMediaThread() const { return CallScope::Inside(this, HandlerKind::kMediaThread); }

void PlayerCore::SetState(TPlayState next) {
  state = next;
  if (Copy(onState)) PostRing(RingEntry{kRingState, next, 0});
}

void PlayerCore::ReportAfterPlay(TPlayState next, bool& heldBack) {
  // Only the ring is touched under the lock; the host hears of it later,
  // from the event thread.
  std::lock_guard lock(playReportMutex);
  if (playReported)
    SetState(next);
  else
    heldBack = true;
}

void PlayerCore::ReportOpenedPaused() { ReportAfterPlay(psPause, pauseHeldBack); }

void PlayerCore::ReportEnd() { ReportAfterPlay(psEnd, endHeldBack); }

void PlayerCore::ReportResumed() {
  std::lock_guard lock(playReportMutex);
  if (playReported)
    SetState(psPlay);
  else
    pauseHeldBack = false;  // the play thread's own psPlay says it
}

void PlayerCore::PostRing(const RingEntry& entry) {
  {
    std::lock_guard lock(ringMutex);
    // A position replaces the position before it. A state is never replaced:
    // a psEnd overwritten by a later state would leave a host waiting for
    // the end for good. When the ring is full an old position gives way; a
    // ring of states only grows as fast as the host changes them itself.
    if (entry.kind == kRingPosition && !ring.empty() && ring.back().kind == kRingPosition) {
      ring.back() = entry;
    } else {
      if (int(ring.size()) >= kRingSize) {
        auto oldPosition = std::find_if(ring.begin(), ring.end(),
                                        [](const RingEntry& queued) { return queued.kind == kRingPosition; });
        if (oldPosition != ring.end()) ring.erase(oldPosition);
      }
      ring.push_back(entry);
    }
  }
  ringChanged.notify_all();
}

void PlayerCore::Deliver(std::function<void()> raise) {
  // The report holds the player's state while it runs: its handler may
  // destroy the component.
  auto report = [core = shared_from_this(), raise = std::move(raise)] {
    CallScope scope(core.get(), HandlerKind::kReport);
    raise();
  };
  if (triggerInMainThread && handOver && !handOver->OnHostThread()) {
    deliveries.PostAndWait(*handOver, std::move(report));
  } else {
    report();
  }
}

void PlayerCore::DeliverKey(TPlayerKey key) {
  if (Copy(onKey)) PostRing(RingEntry{kRingKey, psPlay, 0, key});
}

void PlayerCore::StartEventThread() {
  if (eventThread.joinable()) return;
  eventThreadDone = false;
  // The thread holds the state it runs in: a player destroyed from one of
  // its handlers on this thread lets it go, and it frees what is left.
  eventThread = std::thread([core = shared_from_this()] { core->EventThread(); });
}

void PlayerCore::EventThread() {
  for (;;) {
    RingEntry entry;
    {
      std::unique_lock lock(ringMutex);
      ringChanged.wait(lock, [&] { return eventThreadEnding || !ring.empty(); });
      if (eventThreadEnding) break;
      entry = ring.front();
      ring.pop_front();
      delivering = true;
    }
    try {
      DeliverEntry(entry);
    } catch (const std::exception& e) {
      Error(std::string("Error occurs in an event handler: ") + e.what(), false);
    }
    std::lock_guard lock(ringMutex);
    delivering = false;
    // A host waiting for the reports to be through looks again. Nobody is
    // told once the player is going: the host may be gone as well.
    if (handOver && !eventThreadEnding) handOver->Nudge();
  }
  // A handler that opened or stopped the player from here made SDL keep
  // per-thread state for this thread, which SDL frees only for its own.
  if (Av().SDL_TLSCleanup) Av().SDL_TLSCleanup();
  std::lock_guard lock(ringMutex);
  eventThreadDone = true;
  if (handOver && eventThreadJoined) handOver->Nudge();
}

namespace {

// Raises the handler that `slot` names with `argument`, if it is still
// assigned when its turn comes.
template <typename Handler, typename Argument>
void DeliverTo(PlayerCore& core, Handler PlayerCore::*slot, Argument argument) {
  if (!core.Copy(core.*slot)) return;
  core.Deliver([weak = core.weak_from_this(), slot, argument] {
    if (auto alive = weak.lock())
      if (Handler handler = alive->Copy((*alive).*slot)) handler(argument);
  });
}

}  // namespace

void PlayerCore::DeliverEntry(const RingEntry& entry) {
  switch (entry.kind) {
    case kRingPosition:
      DeliverTo(*this, &PlayerCore::onPosition, entry.position);
      break;
    case kRingState:
      DeliverTo(*this, &PlayerCore::onState, entry.state);
      break;
    case kRingKey:
      DeliverTo(*this, &PlayerCore::onKey, entry.key);
      break;
  }
}

void PlayerCore::WaitReportsDelivered() {
  if (!eventThread.joinable() || InsideReport()) return;
  auto through = [this] {
    std::lock_guard lock(ringMutex);
    return ring.empty() && !delivering;
  };
  while (!WaitServing(through, std::chrono::milliseconds(100))) {
  }
}

void PlayerCore::EndEventThread() {
  {
    std::lock_guard lock(ringMutex);
    eventThreadEnding = true;
  }
  ringChanged.notify_all();
  // A report the thread waits for may be the very one that destroys the
  // player: it no longer waits for it.
  deliveries.ReleaseAll();
  if (!eventThread.joinable()) return;
  if (eventThread.get_id() == std::this_thread::get_id()) {
    eventThread.detach();  // ends when the handler it runs returns
    return;
  }
  {
    std::lock_guard lock(ringMutex);
    eventThreadJoined = true;
  }
  // A handler on the event thread may be waiting for the host meanwhile.
  while (!WaitServing([this] { return eventThreadDone.load(); }, std::chrono::milliseconds(100))) {
  }
  eventThread.join();
}

void PlayerCore::UpdatePosition(Pipeline& pipe) {
  if (pipe.stillImage) return;
  int64_t position;
  if (pipe.videoStream) {
    position = int64_t(std::llround(pipe.VideoClock() * 1000000.0)) - pipe.startTimeUs;
  } else if (pipe.audioStream) {
    position = int64_t(std::llround(pipe.AudioClock() * 1000000.0)) - pipe.startTimeUs;
    if (pipe.audioDurationUs > 0 && position >= pipe.audioDurationUs && pipe.durationUs > position) {
      position = pipe.durationUs;
    }
  } else {
    return;
  }
  // The end: the file is read, every packet decoded and every picture shown.
  bool ending = !pipe.liveCapture && !pipe.endReported && pipe.endReached &&
                (!pipe.videoStream || pipe.videoDrained);
  if (ending && pipe.videoStream) {
    std::lock_guard lock(pipe.pictureMutex);
    ending = pipe.pictureCount == 0;
  }
  const int64_t duration = pipe.durationUs;
  // The last position of a played file is its duration.
  if (ending && duration > 0) position = std::max(position, duration);
  currentPosition = position;
  if (duration > 0 && position >= duration) {
    position = duration;
    if (lastReported != duration) lastReported = INT64_MIN;
  }
  int64_t last = lastReported;
  if (last == INT64_MIN || std::llabs(last - position) > 10000) {
    lastReported = position;
    if (Copy(onPosition)) PostRing(RingEntry{kRingPosition, psPlay, position});
  }
  if (ending) {
    // Reported once, for sound-only files too: the host acts on it (the
    // terminal player quits, the window enables its play button).
    pipe.endReported = true;
    ReportEnd();
  }
}

}  // namespace media::player
