#include "media/main_thread.h"

#include <chrono>
#include <memory>

namespace media {
namespace {

struct State {
  std::mutex mutex;
  std::shared_ptr<MainThreadDispatcher> dispatcher;
  std::thread::id mainThread = std::this_thread::get_id();
};

State& GetState() {
  static State state;
  return state;
}

}  // namespace

void SetMainThreadDispatcher(MainThreadDispatcher dispatcher) {
  std::lock_guard lock(GetState().mutex);
  GetState().dispatcher = dispatcher ? std::make_shared<MainThreadDispatcher>(std::move(dispatcher)) : nullptr;
}

void SetMainThread(std::thread::id id) {
  std::lock_guard lock(GetState().mutex);
  GetState().mainThread = id;
}

bool IsMainThread() {
  std::lock_guard lock(GetState().mutex);
  return GetState().mainThread == std::this_thread::get_id();
}

void RunInMainThread(const std::function<void()>& call) {
  std::shared_ptr<MainThreadDispatcher> dispatcher;
  bool onMain;
  {
    std::lock_guard lock(GetState().mutex);
    dispatcher = GetState().dispatcher;
    onMain = GetState().mainThread == std::this_thread::get_id();
  }
  if (onMain || !dispatcher) {
    call();
    return;
  }
  (*dispatcher)(call);
}

MainThreadQueue::MainThreadQueue() {
  SetMainThread(std::this_thread::get_id());
  SetMainThreadDispatcher([this](const std::function<void()>& call) { Dispatch(call); });
}

MainThreadQueue::~MainThreadQueue() {
  SetMainThreadDispatcher(nullptr);
  // Release waiting threads rather than leaving them blocked forever.
  Pump(0);
}

void MainThreadQueue::Dispatch(const std::function<void()>& call) {
  Job job{call};
  std::unique_lock lock(mutex_);
  jobs_.push_back(&job);
  queued_.notify_all();
  finished_.wait(lock, [&] { return job.done; });
}

int MainThreadQueue::Pump(int timeoutMs) {
  std::unique_lock lock(mutex_);
  if (jobs_.empty() && timeoutMs > 0) {
    queued_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !jobs_.empty(); });
  }
  int ran = 0;
  while (!jobs_.empty()) {
    Job* job = jobs_.front();
    jobs_.pop_front();
    lock.unlock();
    try {
      job->call();
    } catch (...) {
      // The waiting thread must be released whatever the call did; the error
      // has nowhere to go but the log's own handler, which raised it.
    }
    lock.lock();
    job->done = true;
    ++ran;
    finished_.notify_all();
  }
  return ran;
}

}  // namespace media
