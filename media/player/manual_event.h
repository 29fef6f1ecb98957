// An event that stays set until reset, as the player's waits need: "the seek
// has been carried out", "a picture was queued", "the play thread is done".
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace media::player {

class ManualEvent {
 public:
  explicit ManualEvent(bool set) : set_(set) {}
  void Set() {
    {
      std::lock_guard lock(mutex_);
      set_ = true;
    }
    changed_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
  }
  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
  }
  // True when set within the time.
  bool Wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return set_; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

}  // namespace media::player
