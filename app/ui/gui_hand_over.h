// Hands work from a worker thread to the GUI thread and waits until it has
// run there, so the worker sees its changes to widgets in the order it made
// them. Unlike a blocking queued connection, the GUI thread can also run the
// waiting work itself without entering an event loop, which lets a closing
// window finish a worker's run without dispatching any other event.
#pragma once

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace kestrova::ui {

class GuiHandOver : public QObject {
 public:
  explicit GuiHandOver(QObject* parent = nullptr) : QObject(parent) {}

  // From any thread: runs work on this object's thread and returns once it
  // has run. Called on that thread itself, it runs at once.
  void run(const std::function<void()>& work);

  // On this object's thread: runs what has been handed over, waiting up to
  // `wait` for the first piece. Returns how many pieces ran.
  int runPending(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  // On this object's thread: a piece of handed-over work is running further
  // up the stack (a box it raised runs its own event loop), so the worker
  // that handed it over cannot go on until that frame returns.
  bool inProgress() const { return depth_ > 0; }

 private:
  struct Item {
    const std::function<void()>* work;
    bool finished = false;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item*> pending_;
  int depth_ = 0;  // this object's thread only
};

}  // namespace kestrova::ui
