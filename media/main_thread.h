// Hands work from any thread to the host's main thread and waits for it.
// media/ knows no event loop: the host installs a dispatcher (the desktop tool
// one that runs the call on the GUI thread; kestrova-cli and tests a
// MainThreadQueue that they pump).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace media {

// Runs the call on the main thread and returns when it is done. Called on the
// main thread, or with no dispatcher installed, it runs directly.
void RunInMainThread(const std::function<void()>& call);

// The dispatcher receives the call and must run it on the main thread before
// returning. An empty dispatcher uninstalls it.
using MainThreadDispatcher = std::function<void(const std::function<void()>& call)>;
void SetMainThreadDispatcher(MainThreadDispatcher dispatcher);

// The thread that counts as the main one (by default the thread that first
// touched this module, normally main()).
void SetMainThread(std::thread::id id);
bool IsMainThread();

// A dispatcher for hosts without an event loop: other threads queue their
// calls and wait; the main thread runs them in Pump().
class MainThreadQueue {
 public:
  // Installs itself as the dispatcher and marks the calling thread as main.
  MainThreadQueue();
  ~MainThreadQueue();
  MainThreadQueue(const MainThreadQueue&) = delete;
  MainThreadQueue& operator=(const MainThreadQueue&) = delete;

  // Runs every queued call; waits up to timeoutMs for the first one.
  // Returns how many ran.
  int Pump(int timeoutMs = 0);

 private:
  struct Job {
    std::function<void()> call;
    bool done = false;
  };
  void Dispatch(const std::function<void()>& call);

  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<Job*> jobs_;
};

}  // namespace media
