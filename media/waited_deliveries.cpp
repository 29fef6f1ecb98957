#include "media/waited_deliveries.h"

#include <algorithm>
#include <condition_variable>

namespace media {

// One report on its way: the waiting thread and the report share it, so
// either may outlive the component.
struct WaitedDeliveries::Ticket {
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;  // ran or dropped
  bool released = false;
  std::exception_ptr error;

  void Finish(std::exception_ptr failure) {
    {
      std::lock_guard lock(mutex);
      if (finished) return;
      finished = true;
      error = failure;
    }
    changed.notify_all();
  }
  void Release() {
    {
      std::lock_guard lock(mutex);
      released = true;
    }
    changed.notify_all();
  }
};

namespace {

// Finishes the ticket when the report goes, whether it ran or was dropped
// unrun by a closing hand-over.
struct Completion {
  std::function<void()> report;
  std::function<void(std::exception_ptr)> finish;
  std::exception_ptr error;
  ~Completion() { finish(error); }
};

}  // namespace

void WaitedDeliveries::PostAndWait(HandOver& host, std::function<void()> report) {
  auto ticket = std::make_shared<Ticket>();
  {
    std::lock_guard lock(mutex_);
    if (released_) return;
    waiting_.push_back(ticket);
  }
  auto completion = std::make_shared<Completion>();
  completion->report = std::move(report);
  completion->finish = [ticket](std::exception_ptr error) { ticket->Finish(error); };
  host.Post([completion] {
    try {
      completion->report();
    } catch (...) {
      completion->error = std::current_exception();
    }
    completion->report = nullptr;  // what it captured goes now, on the host
  });
  completion.reset();  // the posted work (or a closed hand-over) holds it now

  std::exception_ptr error;
  {
    std::unique_lock lock(ticket->mutex);
    ticket->changed.wait(lock, [&] { return ticket->finished || ticket->released; });
    if (ticket->finished) error = ticket->error;
  }
  {
    std::lock_guard lock(mutex_);
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), ticket), waiting_.end());
  }
  if (error) std::rethrow_exception(error);
}

void WaitedDeliveries::ReleaseAll() {
  std::vector<std::shared_ptr<Ticket>> waiting;
  {
    std::lock_guard lock(mutex_);
    released_ = true;
    waiting = waiting_;
  }
  for (auto& ticket : waiting) ticket->Release();
}

bool WaitedDeliveries::Released() const {
  std::lock_guard lock(mutex_);
  return released_;
}

}  // namespace media
