#include "media/hand_over.h"

#include <algorithm>
#include <cstdio>

namespace media {

struct HandOver::Item {
  std::function<void()> owned;                  // posted work
  const std::function<void()>* borrowed = nullptr;  // work of a waiting Call
  bool finished = false;
  bool ran = false;
  std::exception_ptr error;
};

HandOver::HandOver(std::thread::id hostThread) : hostThread_(hostThread) {}

HandOver::~HandOver() { Close(); }

bool HandOver::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    auto item = std::make_shared<Item>();
    item->owned = std::move(work);
    pending_.push_back(std::move(item));
  }
  changed_.notify_all();
  Wake();
  return true;
}

bool HandOver::Call(const std::function<void()>& work) {
  if (OnHostThread()) {
    if (Closed()) return false;
    ++depth_;
    try {
      work();
    } catch (...) {
      --depth_;
      throw;
    }
    --depth_;
    return true;
  }
  auto item = std::make_shared<Item>();
  item->borrowed = &work;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    pending_.push_back(item);
  }
  changed_.notify_all();
  Wake();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return item->finished; });
  // The error moves to this thread under the lock, so the exception is freed
  // by the thread that catches it, never by the host dropping its item later.
  std::exception_ptr error = std::move(item->error);
  const bool ran = item->ran;
  lock.unlock();
  if (error) std::rethrow_exception(error);
  return ran;
}

void HandOver::RunItem(const std::shared_ptr<Item>& item) {
  ++depth_;
  std::exception_ptr error;
  try {
    if (item->borrowed) {
      (*item->borrowed)();
    } else if (item->owned) {
      item->owned();
    }
  } catch (...) {
    error = std::current_exception();
  }
  --depth_;
  if (item->borrowed) {
    {
      std::lock_guard lock(mutex_);
      item->error = std::move(error);
      item->ran = true;
      item->finished = true;
    }
    changed_.notify_all();
    return;
  }
  item->owned = nullptr;  // captured state goes now, on the host thread
  if (!error) return;
  std::function<void(std::exception_ptr)> handler;
  {
    std::lock_guard lock(mutex_);
    handler = errorHandler_;
  }
  if (handler) {
    handler(error);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrova: posted work failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "kestrova: posted work failed\n");
  }
}

int HandOver::Pump(std::chrono::milliseconds wait) {
  int ran = 0;
  std::unique_lock lock(mutex_);
  if (pending_.empty() && wait.count() > 0) {
    const std::uint64_t seen = nudges_;
    changed_.wait_for(lock, wait, [&] { return !pending_.empty() || nudges_ != seen || closed_; });
  }
  while (!pending_.empty()) {
    std::shared_ptr<Item> item = std::move(pending_.front());
    pending_.pop_front();
    lock.unlock();
    RunItem(item);
    ++ran;
    lock.lock();
  }
  return ran;
}

bool HandOver::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  // How long one wait lasts before the host's own events are served again.
  constexpr std::chrono::milliseconds kHostEventSlice(10);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool servesHost = ServeHostEvents();
  for (;;) {
    // Counted before done() is asked, so a nudge that comes in between still
    // ends the wait below.
    std::uint64_t seen;
    {
      std::lock_guard lock(mutex_);
      seen = nudges_;
    }
    if (done()) return true;
    std::shared_ptr<Item> item;
    {
      std::unique_lock lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      const auto until = servesHost ? std::min(deadline, now + kHostEventSlice) : deadline;
      if (!changed_.wait_until(lock, until, [&] { return !pending_.empty() || nudges_ != seen || closed_; })) {
        lock.unlock();
        if (until >= deadline) return done();
        servesHost = ServeHostEvents();
        continue;
      }
      if (!pending_.empty()) {
        item = std::move(pending_.front());
        pending_.pop_front();
      } else if (closed_) {
        lock.unlock();
        return done();
      }
    }
    if (item) RunItem(item);
  }
}

void HandOver::Nudge() {
  {
    std::lock_guard lock(mutex_);
    ++nudges_;
  }
  changed_.notify_all();
}

void HandOver::Close() {
  std::deque<std::shared_ptr<Item>> dropped;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(pending_);
    for (auto& item : dropped) {
      if (item->borrowed) item->finished = true;  // ran stays false
    }
  }
  changed_.notify_all();
  // Posted work is destroyed here, outside the lock: its captures may own
  // objects whose destructors hand over work of their own.
  dropped.clear();
}

bool HandOver::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void HandOver::SetErrorHandler(std::function<void(std::exception_ptr)> handler) {
  std::lock_guard lock(mutex_);
  errorHandler_ = std::move(handler);
}

}  // namespace media
