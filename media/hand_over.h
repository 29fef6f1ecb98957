// Work handed from any thread to one host thread: the window's thread in the
// desktop tool, main() in kestrova-cli and the tests.
//
// The media components and the sync worker are given a HandOver by their host
// (never a global one). Two ways in:
//   Post(work)  queue the work and return at once;
//   Call(work)  run the work on the host thread and return once it has run.
// The host thread runs queued work when it pumps (Pump, PumpUntil), or, for a
// host with an event loop, when Wake() has asked its loop to (see the Qt
// adapter in the desktop tool).
//
// The rule every user of this class keeps: never Post or Call while holding a
// lock of your own that the host's handlers may need. Copy what the work
// needs, unlock, then hand it over.
//
// Error policy, the same for every host: an exception thrown by work given to
// Call reaches the caller of Call, in the caller's thread; an exception thrown
// by posted work goes to the error handler (by default written to stderr) and
// never into the host's event loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace media {

class HandOver {
 public:
  // The host thread is the one that creates the object unless named.
  explicit HandOver(std::thread::id hostThread = std::this_thread::get_id());
  virtual ~HandOver();
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  bool OnHostThread() const { return std::this_thread::get_id() == hostThread_; }
  std::thread::id HostThread() const { return hostThread_; }

  // From any thread: queues work for the host thread and returns at once.
  // Work runs in the order it was handed over, Posts and Calls alike.
  // Returns false (and drops the work) once the hand-over is closed.
  bool Post(std::function<void()> work);

  // From any thread: runs work on the host thread and returns once it ran;
  // on the host thread itself it runs at once. Returns false without running
  // the work if the hand-over is closed before the host got to it.
  bool Call(const std::function<void()>& work);

  // On the host thread: runs what has been handed over, waiting up to `wait`
  // for the first piece. Returns how many pieces ran. Work that hands over
  // more work while it runs gets that work run in the same Pump.
  int Pump(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  // On the host thread: pumps until done() holds or `limit` has passed;
  // returns done(). The predicate is checked after every piece of work.
  // A host with an event loop keeps serving its own events meanwhile (see
  // ServeHostEvents), so a window that waits here keeps painting.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  // From any thread: wakes a host thread blocked in Pump/PumpUntil so that it
  // re-checks its predicate (for a waiter whose condition changed without
  // any work being handed over).
  void Nudge();

  // Refuses work from now on and releases every waiting Call (they return
  // false). Work already queued is dropped. Called by the host before the
  // objects the work would touch go away.
  void Close();
  bool Closed() const;

  // Pieces of handed-over work running further up the host thread's stack
  // (a modal box inside one runs its own loop). Host thread only.
  int Depth() const { return depth_; }

  // Where exceptions from posted work go. Host thread, before work arrives.
  void SetErrorHandler(std::function<void(std::exception_ptr)> handler);

 protected:
  // Called after work was queued, from the handing thread, with no lock held.
  // A host with an event loop asks its loop to call Pump() here.
  virtual void Wake() {}

  // Called on the host thread every few milliseconds while PumpUntil waits:
  // a host with an event loop serves its pending events (painting, timers)
  // and returns true. The default has no loop to serve and returns false,
  // which lets PumpUntil sleep until work or a nudge arrives.
  virtual bool ServeHostEvents() { return false; }

 private:
  struct Item;
  void RunItem(const std::shared_ptr<Item>& item);

  const std::thread::id hostThread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Item>> pending_;
  std::uint64_t nudges_ = 0;
  bool closed_ = false;
  int depth_ = 0;  // host thread only
  std::function<void(std::exception_ptr)> errorHandler_;
};

}  // namespace media
