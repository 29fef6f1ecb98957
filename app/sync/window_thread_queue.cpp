#include "window_thread_queue.h"

namespace kestrova::sync {

void WindowThreadQueue::run(const std::function<void()>& work) {
  if (std::this_thread::get_id() == owner_) {
    work();
    return;
  }
  Item item{&work};
  std::unique_lock lock(mutex_);
  pending_.push_back(&item);
  changed_.notify_all();
  changed_.wait(lock, [&] { return item.finished; });
}

int WindowThreadQueue::pump(std::chrono::milliseconds wait) {
  int count = 0;
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, wait, [&] { return !pending_.empty(); });
  while (!pending_.empty()) {
    Item* item = pending_.front();
    pending_.pop_front();
    lock.unlock();
    try {
      (*item->work)();
    } catch (...) {
      // The handing thread must not wait for ever on work that failed.
      lock.lock();
      item->finished = true;
      changed_.notify_all();
      throw;
    }
    lock.lock();
    item->finished = true;
    ++count;
    changed_.notify_all();
  }
  return count;
}

void WindowThreadQueue::pumpUntil(const std::function<bool()>& done) {
  while (!done()) pump();
  pump(std::chrono::milliseconds(0));
}

}  // namespace kestrova::sync
