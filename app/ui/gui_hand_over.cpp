#include "gui_hand_over.h"

#include <QThread>

namespace kestrova::ui {

void GuiHandOver::run(const std::function<void()>& work) {
  if (QThread::currentThread() == thread()) {
    work();
    return;
  }
  Item item{&work};
  std::unique_lock lock(mutex_);
  pending_.push_back(&item);
  changed_.notify_all();
  // The wake-up is posted after the item is queued, so the GUI thread always
  // finds it; one that arrives after the item was run another way finds
  // nothing to do.
  QMetaObject::invokeMethod(this, [this] { runPending(); }, Qt::QueuedConnection);
  changed_.wait(lock, [&] { return item.finished; });
}

int GuiHandOver::runPending(std::chrono::milliseconds wait) {
  int count = 0;
  std::unique_lock lock(mutex_);
  if (wait.count() > 0) changed_.wait_for(lock, wait, [&] { return !pending_.empty(); });
  while (!pending_.empty()) {
    Item* item = pending_.front();
    pending_.pop_front();
    lock.unlock();
    // The worker must be released even when its work fails; the work's own
    // errors are the caller's to report, so nothing escapes into Qt here.
    ++depth_;
    try {
      (*item->work)();
    } catch (...) {
    }
    --depth_;
    lock.lock();
    item->finished = true;
    ++count;
    changed_.notify_all();
  }
  return count;
}

}  // namespace kestrova::ui
