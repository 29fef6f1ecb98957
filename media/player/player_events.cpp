// State changes, positions and the end of the file, and their way to the
// host: a ring of ten entries where consecutive entries of one kind are
// coalesced (a slow host sees only the latest position), read by the event
// thread, which raises the host's handlers without holding any lock.
#include <algorithm>

#include "media/logger.h"
#include "media/player/player_core.h"
#include "media/utils.h"

namespace media::player {

void PlayerCore::Error(const std::string& text, bool keep) {
  FFLogger().Log(&owner, llError, text);
  if (keep) {
    std::lock_guard lock(errorMutex);
    lastError = text;
  }
}

void PlayerCore::LogMessage(int level, const std::string& text) { FFLogger().Log(&owner, TLogLevel(level), text); }

void PlayerCore::SetState(TPlayState next) {
  state = next;
  if (Copy(onState)) {
    PostRing(RingEntry{kRingState, next, 0});
  } else if (next == psStop) {
    PostRing(RingEntry{kRingQuit, next, 0});  // so the event thread ends
  }
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
  ringNotEmpty.Set();
}

void PlayerCore::Deliver(const std::function<void()>& raise) {
  if (triggerInMainThread && handOver) {
    handOver->Call(raise);
  } else {
    raise();
  }
}

void PlayerCore::EventThread() {
  for (;;) {
    RingEntry entry;
    bool have = false;
    {
      std::lock_guard lock(ringMutex);
      if (!ring.empty()) {
        entry = ring.front();
        ring.pop_front();
        have = true;
      }
      if (ring.empty()) ringNotEmpty.Reset();
    }
    if (have) {
      if (entry.kind == kRingQuit) break;
      try {
        if (entry.kind == kRingPosition && Copy(onPosition)) {
          Deliver([&] {
            if (TPositionEvent handler = Copy(onPosition)) handler(entry.position);
          });
        } else if (entry.kind == kRingState && Copy(onState)) {
          Deliver([&] {
            if (TPlayStateEvent handler = Copy(onState)) handler(entry.state);
          });
        }
      } catch (const std::exception& e) {
        Error(std::string("Error occurs in an event handler: ") + e.what(), false);
      }
      if (entry.kind == kRingState && entry.state == psStop) break;
      continue;
    }
    ringNotEmpty.Wait(std::chrono::milliseconds(100));
  }
  eventThreadDone = true;
  if (handOver) handOver->Nudge();
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
