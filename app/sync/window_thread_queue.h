// A RunOnWindowThread for hosts without a GUI event loop (kestrova-cli,
// tests): the thread that created the queue is "the window's thread" and
// runs handed-over work whenever it pumps; the handing thread waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "sync_view.h"

namespace kestrova::sync {

class WindowThreadQueue {
 public:
  WindowThreadQueue() : owner_(std::this_thread::get_id()) {}

  // Runs work on the owner thread and waits for it.
  void run(const std::function<void()>& work);
  RunOnWindowThread runner() {
    return [this](const std::function<void()>& work) { run(work); };
  }
  // Runs what has been handed over; waits up to `wait` for the first piece.
  // Returns the number of pieces run.
  int pump(std::chrono::milliseconds wait = std::chrono::milliseconds(50));
  // Pumps until done() is true.
  void pumpUntil(const std::function<bool()>& done);

 private:
  struct Item {
    const std::function<void()>* work;
    bool finished = false;
  };
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item*> pending_;
};

}  // namespace kestrova::sync
