// Run states of a task: start (calling thread or a worker thread), stop,
// pause (a flag the loop polls), and the termination step.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/transcoder.h"

namespace media {

bool TCustomFFmpeg::Start(bool threadMode) {
  if (running_ || terminated_) return false;
  if (worker_.joinable()) worker_.join();
  if (outputs_.empty() || inputs_.empty()) {
    errorText_ = outputs_.empty() ? "At least one output file must be specified"
                                  : "At least one input file must be specified";
    errorFlag_ = true;
    EngineLog(LogError, errorText_);
    TerminationStep();
    return false;
  }
  running_ = true;
  stopRequested_ = false;
  finished_ = false;
  terminated_ = false;
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    runDone_ = false;
  }
  if (!threadMode) {
    RunBody();
    return true;
  }
  worker_ = std::thread([this] {
    if (workerNice_ > 0) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), workerNice_);
    RunBody();
  });
  return true;
}

void TCustomFFmpeg::RunBody() {
  auto guarded = [this](const std::function<void()>& step) {
    try {
      step();
    } catch (const std::exception& e) {
      if (!errorFlag_) {
        errorFlag_ = true;
        errorText_ = e.what();
      }
      EngineLog(LogError, e.what());
    }
  };
  guarded([this] { Transcode(); });
  if (errorFlag_) finished_ = false;
  // A run that ended on an error may have left encoder threads running:
  // they stop before their encoders close (and before the lock is taken).
  for (OutputStream& ost : outputStreams_) ost.encodeWorker.reset();
  guarded([this] {
    // Encoders and decoders close under the codec lock, like they opened.
    std::lock_guard<std::mutex> lock(CodecLock());
    for (OutputStream& ost : outputStreams_) ost.enc.reset();
    for (InputStream& ist : inputStreams_) ist.dec.reset();
  });
  guarded([this] { Reset(); });
  FrameHookRelease(hooks_);
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    runDone_ = true;
  }
  runCv_.notify_all();
  if (handOver_ != nullptr) handOver_->Nudge();
  guarded([this] { TerminationStep(); });
}

void TCustomFFmpeg::TerminationStep() {
  running_ = false;
  terminated_ = true;
  if (OnTerminate) OnTerminate(*this);
  if (handOver_ != nullptr) handOver_->Nudge();
}

void TCustomFFmpeg::WaitForRunFlag(const bool& flag) {
  auto set = [&] {
    std::lock_guard<std::mutex> lock(runMutex_);
    return flag;
  };
  if (handOver_ != nullptr && handOver_->OnHostThread() && !handOver_->Closed()) {
    // The task may be waiting for the host (a delivery, a log line): the
    // host's hand-over keeps running while we wait for the task. A closed
    // one turns the task away at once, and pumping it would only spin.
    while (!handOver_->PumpUntil(set, std::chrono::hours(1))) {
    }
    return;
  }
  std::unique_lock<std::mutex> lock(runMutex_);
  runCv_.wait(lock, [&] { return flag; });
}

void TCustomFFmpeg::WaitWhilePaused() {
  std::unique_lock<std::mutex> lock(runMutex_);
  runCv_.wait(lock, [this] { return !paused_ || stopRequested_; });
}

void TCustomFFmpeg::Suspend() {
  if (!running_ || !worker_.joinable()) return;
  paused_ = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    paused_ = false;
  }
  runCv_.notify_all();
}

void TCustomFFmpeg::Stop(bool wait) {
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    stopRequested_ = true;
    paused_ = false;  // a paused loop has to wake up to see the request
  }
  runCv_.notify_all();
  if (!wait || !worker_.joinable() || worker_.get_id() == std::this_thread::get_id()) return;
  WaitForRunFlag(runDone_);
  worker_.join();
}

void TCustomFFmpeg::StopOrTerminate(bool wait) {
  if (running_) {
    Stop(wait);
    return;
  }
  if (terminated_) return;
  // A task that never started has nothing to wait for: it ends here, and its
  // termination report is raised on this thread.
  TerminationStep();
}

}  // namespace media
