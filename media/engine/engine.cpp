#include "media/engine/engine.h"

#include <stdexcept>

#include "media/engine/engine_av.h"
#include "media/engine/options_error.h"
#include "media/main_thread.h"

namespace media {

// ---- task list ----

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task) {
  tasks_.push_back(std::move(task));
  return Count() - 1;
}

TFFmpeg* TFFmpegList::Get(int index) const {
  if (index < 0 || index >= Count()) throw std::out_of_range(FormatText("List index out of bounds (%d)", index));
  return tasks_[index].get();
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* task) const {
  for (int i = 0; i < Count(); ++i)
    if (tasks_[i].get() == task) return i;
  return -1;
}

void TFFmpegList::Delete(int index) {
  Get(index);
  tasks_.erase(tasks_.begin() + index);
}

void TFFmpegList::Clear() { tasks_.clear(); }

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::TakeAll() {
  std::vector<std::unique_ptr<TFFmpeg>> all;
  all.swap(tasks_);
  return all;
}

void TFFmpegList::SuspendAll() {
  for (auto& t : tasks_)
    if (!t->Suspended()) t->Suspend();
}

void TFFmpegList::ResumeAll() {
  for (auto& t : tasks_)
    if (t->Suspended()) t->Resume();
}

void TFFmpegList::StopOrTerminateAll(bool wait) {
  for (auto& t : tasks_) t->StopOrTerminate(wait);
}

void TFFmpegList::SetPreviewBit(int bit, bool on) {
  for (auto& t : tasks_) t->SetPreviewFlags(on ? (t->PreviewFlags() | bit) : (t->PreviewFlags() & ~bit));
}

// ---- component ----

TCustomFFmpegEngine::TCustomFFmpegEngine() = default;

TCustomFFmpegEngine::~TCustomFFmpegEngine() {
  // Wait for any delivery in progress and switch the events off: their
  // receivers may already be gone. Then stop every running task, waiting,
  // and let the report threads finish.
  { std::lock_guard<std::mutex> a(hookLock_); onCustomHook_ = nullptr; }
  { std::lock_guard<std::mutex> b(previewLock_); onPreviewBitmap_ = nullptr; }
  { std::lock_guard<std::mutex> c(progressLock_); onProgress_ = nullptr; }
  { std::lock_guard<std::recursive_mutex> d(terminateLock_); onTerminate_ = nullptr; toStart_ = 0; }
  for (int i = 0; i < tasks_.Count(); ++i) tasks_.Get(i)->Stop(true);
  while (true) {
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> lock(reportThreadsLock_);
      threads.swap(reportThreads_);
    }
    if (threads.empty()) break;
    for (std::thread& t : threads)
      if (t.joinable()) t.join();
  }
  tasks_.Clear();
  retired_.clear();
}

bool TCustomFFmpegEngine::LibrariesLoaded() const { return FFmpegLoader().Loaded(EngineLibraries); }

bool TCustomFFmpegEngine::LoadLibraries(const std::string& path) {
  FFmpegLoader().SetLibraryPath(path);
  if (FFmpegLoader().Load(EngineLibraries)) return true;
  lastErrorMessage_ = FFmpegLoader().LastError();
  return false;
}

void TCustomFFmpegEngine::CheckWorking(const char* operation) const {
  if (working_) throw FFmpegException(FormatText("Cannot %s while working.", operation));
}

int TCustomFFmpegEngine::AddTask(const std::string& fileName, const TInputOptions* inputOptions) {
  CheckWorking("AddTask");
  if (reportDepth_ == 0) retired_.clear();
  std::unique_ptr<TFFmpeg> task;
  try {
    task = std::make_unique<TFFmpeg>(maxFiles_);
    if (LibrariesLoaded()) task->Reset();
    task->Settings().verbosity = verbosity_;
    task->SetPreviewFlags((preview_ ? 1 : 0) | (previewBitmap_ ? 2 : 0));
    TFFmpeg* raw = task.get();
    task->OnPreviewBitmap = [this](TCustomFFmpeg& s, const Bitmap& b, int64_t pts, int n) { DoPreviewBitmap(s, b, pts, n); };
    if (inputOptions != nullptr) {
      task->KeptInput = *inputOptions;
      if (task->KeptInput.FileName.empty()) task->KeptInput.FileName = fileName;
      task->ApplyInputOptions(task->KeptInput);
    }
    if (!task->OpenInput(fileName)) {
      lastErrorMessage_ = task->LastErrorText();
      return -1;
    }
    raw->InputProbe = std::make_unique<TAVProbe>();
    raw->InputProbe->AttachInput(raw->InputContext(0));
    raw->OnProgress = [this](TCustomFFmpeg& s, const TProgressInfo& v) { DoProgress(s, v); };
    raw->OnTerminate = [this](TCustomFFmpeg& s) { DoTerminate(s); };
    return tasks_.Add(std::move(task));
  } catch (const std::exception& e) {
    lastErrorMessage_ = e.what();
    return -1;
  }
}

bool TCustomFFmpegEngine::SetOutputFile(int taskIndex, const std::string& fileName, const TOutputOptions* outputOptions) {
  CheckWorking("SetOutputFile");
  try {
    TFFmpeg* task = tasks_.Get(taskIndex);
    if (task->OutputCount() >= maxFiles_) {
      lastErrorMessage_ = FormatText("max output files %d reached", maxFiles_);
      return false;
    }
    TOutputOptions kept;
    if (outputOptions != nullptr) {
      kept = *outputOptions;
      if (kept.FileName.empty()) kept.FileName = fileName;
      task->ApplyOutputOptions(kept);
      if (kept.CustomHook)
        task->OnHook = [this](TCustomFFmpeg& s, TCustomFFmpeg::HookCall& c) { DoCustomHook(s, c); };
    }
    if (task->OpenOutput(fileName, kept.Join) < 0) {
      lastErrorMessage_ = task->LastErrorText();
      return false;
    }
    task->KeptOutputs.push_back(kept);
    task->ApplyExtraOptions(kept.ExtOptions, 0);
    return true;
  } catch (const std::exception& e) {
    lastErrorMessage_ = e.what();
    return false;
  }
}

void TCustomFFmpegEngine::StartTask(int threadCount) {
  CheckWorking("StartTask");
  std::unique_lock<std::recursive_mutex> lock(terminateLock_);
  finishedCount_ = 0;
  nextIndex_ = 0;
  toStart_ = tasks_.Count();
  allTerminated_ = false;
  threadMode_ = threadCount > 0;
  working_ = true;
  if (tasks_.Count() == 0) {
    // Nothing to run: the batch has ended at once, so callers waiting for
    // its end (and ClearTasks) are not left hanging.
    TTerminateInfo info;
    info.TaskIndex = -1;
    info.Finished = true;
    allTerminated_ = true;
    RaiseTerminate(info);
    return;
  }
  if (!threadMode_) lock.unlock();  // the calling thread runs the tasks; their reports take the lock themselves
  int started = 0;
  while (toStart_ > 0) {
    StartNextTask();
    ++started;
    if (threadMode_ && started >= std::max(threadCount, 1)) break;
  }
}

void TCustomFFmpegEngine::StartNextTask() {
  if (toStart_ <= 0) return;
  --toStart_;
  TFFmpeg* task = tasks_.Get(nextIndex_++);
  task->SetProgressInterval(static_cast<int64_t>(progressInterval_) * 1000);
  static constexpr int kNiceByPriority[] = {19, 10, 5, 0, 0, 0, 0};  // tpIdle .. tpTimeCritical
  task->SetWorkerNice(kNiceByPriority[static_cast<int>(threadPriority_)]);
  task->Start(threadMode_);
}

void TCustomFFmpegEngine::Pause() { tasks_.SuspendAll(); }
void TCustomFFmpegEngine::Resume() { tasks_.ResumeAll(); }

void TCustomFFmpegEngine::Stop(bool wait) {
  {
    std::lock_guard<std::recursive_mutex> lock(terminateLock_);
    toStart_ = 0;
  }
  for (int i = 0; i < tasks_.Count(); ++i) {
    TFFmpeg* t = tasks_.Get(i);
    if (t->Running())
      t->Stop(wait);
    else if (!t->Terminated())
      t->StopOrTerminate(wait);
  }
}

void TCustomFFmpegEngine::RemoveTask(int index) {
  CheckWorking("RemoveTask");
  tasks_.Delete(index);
}

void TCustomFFmpegEngine::ClearTasks() {
  if (working_ && !allTerminated_) throw FFmpegException("Cannot ClearTasks while working.");
  {
    // Finished report threads are joined here; called from a report itself,
    // they are left for later (the ones after it wait for its turn to end).
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> lock(reportThreadsLock_);
      bool fromReport = false;
      for (std::thread& t : reportThreads_) fromReport |= t.get_id() == std::this_thread::get_id();
      if (!fromReport) threads.swap(reportThreads_);
    }
    for (std::thread& t : threads)
      if (t.joinable()) t.join();
  }
  if (reportDepth_ > 0) {
    // Called from a termination report in the calling thread: the task that
    // reports is still running its last lines.
    for (auto& t : tasks_.TakeAll()) retired_.push_back(std::move(t));
  } else {
    tasks_.Clear();
    retired_.clear();
  }
  lastErrorMessage_.clear();
  finishedCount_ = nextIndex_ = toStart_ = 0;
  allTerminated_ = false;
  working_ = false;
}

void TCustomFFmpegEngine::SetPreview(bool value) {
  preview_ = value;
  tasks_.SetPreviewBit(1, value);
}

void TCustomFFmpegEngine::SetPreviewBitmap(bool value) {
  previewBitmap_ = value;
  tasks_.SetPreviewBit(2, value);
}

void TCustomFFmpegEngine::DoCustomHook(TCustomFFmpeg& sender, TCustomFFmpeg::HookCall& call) {
  std::lock_guard<std::mutex> lock(hookLock_);
  if (!onCustomHook_) return;
  hookInfo_.TaskIndex = tasks_.IndexOf(&sender);
  hookInfo_.Bitmap = call.bitmap;
  hookInfo_.FrameNumber = call.frameNumber;
  hookInfo_.PTS = call.pts;
  hookInfo_.Update = call.update;
  hookInfo_.StopHook = call.stopHook;
  onCustomHook_(*this, &hookInfo_);
  call.update = hookInfo_.Update;
  call.stopHook = hookInfo_.StopHook;
}

void TCustomFFmpegEngine::DoPreviewBitmap(TCustomFFmpeg& sender, const Bitmap& bitmap, int64_t pts, int frameNumber) {
  std::lock_guard<std::mutex> lock(previewLock_);
  if (!onPreviewBitmap_ || (triggerInMainThread_ && sender.StopRequested())) return;
  previewInfo_.TaskIndex = tasks_.IndexOf(&sender);
  previewInfo_.Bitmap = &bitmap;
  previewInfo_.FrameNumber = frameNumber;
  previewInfo_.PTS = pts;
  if (triggerInMainThread_)
    RunInMainThread([this] { onPreviewBitmap_(*this, previewInfo_); });
  else
    onPreviewBitmap_(*this, previewInfo_);
}

void TCustomFFmpegEngine::DoProgress(TCustomFFmpeg& sender, const TProgressInfo& values) {
  std::lock_guard<std::mutex> lock(progressLock_);
  // A task being stopped reports nothing more through the main thread: the
  // main thread may be the one waiting for it.
  if (!onProgress_ || (triggerInMainThread_ && sender.StopRequested())) return;
  progressInfo_ = values;
  progressInfo_.TaskIndex = tasks_.IndexOf(&sender);
  if (triggerInMainThread_)
    RunInMainThread([this] { onProgress_(*this, &progressInfo_); });
  else
    onProgress_(*this, &progressInfo_);
}

void TCustomFFmpegEngine::RaiseTerminate(const TTerminateInfo& info) {
  if (!onTerminate_) return;
  if (threadMode_) {
    // Each report runs on a thread of its own, so the ending task's thread
    // never waits for a handler (handlers marshal to the UI themselves).
    std::lock_guard<std::mutex> lock(reportThreadsLock_);
    const uint64_t ticket = reportsRaised_++;
    reportThreads_.emplace_back([this, ticket, handler = onTerminate_, copy = info] {
      {
        std::unique_lock<std::mutex> turn(reportThreadsLock_);
        reportTurn_.wait(turn, [&] { return reportsDelivered_ == ticket; });
      }
      handler(*this, copy);
      {
        std::lock_guard<std::mutex> turn(reportThreadsLock_);
        ++reportsDelivered_;
      }
      reportTurn_.notify_all();
    });
  } else {
    onTerminate_(*this, info);
  }
}

void TCustomFFmpegEngine::DoTerminate(TCustomFFmpeg& sender) {
  std::lock_guard<std::recursive_mutex> lock(terminateLock_);
  struct Depth {
    int& d;
    explicit Depth(int& x) : d(x) { ++d; }
    ~Depth() { --d; }
  } depth(reportDepth_);
  static_cast<TFFmpeg&>(sender).InputProbe.reset();
  terminateInfo_.TaskIndex = tasks_.IndexOf(&sender);
  terminateInfo_.Finished = sender.Finished();
  terminateInfo_.Exception = sender.HasError();
  terminateInfo_.ExceptionMsg = sender.ErrorText();
  RaiseTerminate(terminateInfo_);
  ++finishedCount_;
  if (toStart_ <= 0 && finishedCount_ >= tasks_.Count()) {
    TTerminateInfo end;
    end.TaskIndex = -1;
    end.Finished = true;
    allTerminated_ = true;
    RaiseTerminate(end);
  } else if (threadMode_) {
    StartNextTask();
  }
}

}  // namespace media
