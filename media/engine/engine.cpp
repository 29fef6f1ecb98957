#include "media/engine/engine.h"

#include "media/engine/engine_task.h"

#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <utility>

#include "media/engine/engine_av.h"
#include "media/engine/options_error.h"
#include "media/engine/same_file.h"
#include "media/probe_access.h"
#include "media/unicode_io.h"

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

namespace {
// Deliveries of any engine running further up this thread's stack.
thread_local int t_deliveryDepth = 0;

struct DeliveryScope {
  DeliveryScope() { ++t_deliveryDepth; }
  ~DeliveryScope() { --t_deliveryDepth; }
};

// Engines whose handlers run on this thread above a task's work, innermost
// last (a handler of one engine may run another).
thread_local std::vector<const void*> t_taskWork;

struct TaskWorkScope {
  explicit TaskWorkScope(const void* engine) { t_taskWork.push_back(engine); }
  ~TaskWorkScope() { t_taskWork.pop_back(); }
  TaskWorkScope(const TaskWorkScope&) = delete;
  TaskWorkScope& operator=(const TaskWorkScope&) = delete;
};

// Cores this process may run on (a taskset or cgroup may give it fewer than
// the machine has).
int UsableCores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(CPU_COUNT(&set), 1);
  return std::max(static_cast<int>(std::thread::hardware_concurrency()), 1);
}

// One task alone lets its codecs thread as they please (libx264 and the
// decoders size their own pools from the cores); tasks that run side by side
// split the cores, so N tasks never ask for more threads than there are.
int CodecThreadsPerTask(int tasksAtOnce) {
  if (tasksAtOnce <= 1) return 0;
  return std::max(UsableCores() / tasksAtOnce, 1);
}
}  // namespace

void TCustomFFmpegEngine::DeliveryTurn::Take() {
  std::unique_lock lock(mutex_);
  free_.wait(lock, [this] { return !busy_; });
  busy_ = true;
}

void TCustomFFmpegEngine::DeliveryTurn::Give() {
  {
    std::lock_guard lock(mutex_);
    busy_ = false;
  }
  free_.notify_one();
}

TCustomFFmpegEngine::TCustomFFmpegEngine(HandOver* handOver)
    : handOver_(handOver), tasks_(std::make_unique<TFFmpegList>()) {}

int TCustomFFmpegEngine::TaskCount() const { return tasks_->Count(); }
TFFmpeg* TCustomFFmpegEngine::Task(int index) const { return tasks_->Get(index); }
const TTaskRecord& TCustomFFmpegEngine::TaskRecord(int index) const { return *tasks_->Get(index); }

TCustomFFmpegEngine::~TCustomFFmpegEngine() { StopForDestruction(); }

bool TCustomFFmpegEngine::InsideTaskWork() const {
  return std::find(t_taskWork.begin(), t_taskWork.end(), this) != t_taskWork.end();
}

void TCustomFFmpegEngine::StopForDestruction() {
  if (InsideTaskWork()) {
    // The task this handler interrupts runs on in the engine once the
    // handler returns: there is nothing sound left to do but say so.
    const char* const text =
        "TCustomFFmpegEngine destroyed from a handler that runs inside a task's work (the custom hook, or progress "
        "or preview on the task's own thread): the task would run on in the destroyed engine";
    std::fprintf(stderr, "kestrova: %s\n", text);
    std::abort();
  }
  // The events go off first: a delivery still queued for the host finds
  // them off and returns without its handler, and a task waiting for one
  // (maybe the very one this runs in) is let go. Then every running task is
  // stopped, waiting (the host's hand-over is pumped meanwhile), and the
  // report line ends (by itself, when this runs in one of its reports).
  *eventsOn_ = false;
  hostDeliveries_.ReleaseAll();
  { std::lock_guard<std::mutex> a(hookLock_); onCustomHook_ = nullptr; }
  { std::lock_guard<std::mutex> b(previewLock_); onPreviewBitmap_ = nullptr; }
  { std::lock_guard<std::mutex> f(previewerFactoryLock_); previewerFactory_ = nullptr; }
  { std::lock_guard<std::mutex> c(progressLock_); onProgress_ = nullptr; }
  { std::lock_guard<std::mutex> d(terminateLock_); onTerminate_ = nullptr; toStart_ = 0; }
  for (int i = 0; i < tasks_->Count(); ++i) tasks_->Get(i)->Stop(true);
  reports_.Close();
  tasks_->Clear();
  retired_.clear();
  pendingReports_.clear();
}

void TCustomFFmpegEngine::RunInMainThread(const std::function<void()>& call) {
  if (handOver_ == nullptr || handOver_->OnHostThread()) {
    call();
    return;
  }
  handOver_->Call(call);
}

bool TCustomFFmpegEngine::InsideDelivery() { return t_deliveryDepth > 0; }

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
    task->SetStrictOptions(strictOptions_);
    task->SetHandOver(handOver_);
    task->SetPreviewFlags((preview_ ? 1 : 0) | (previewBitmap_ ? 2 : 0));
    TFFmpeg* raw = task.get();
    task->OnPreviewBitmap = [this](TCustomFFmpeg& s, const Bitmap& b, int64_t pts, int n) { DoPreviewBitmap(s, b, pts, n); };
    task->SetPreviewerFactory([this] { return MakePreviewer(); });
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
    ProbeInputAccess::Attach(*raw->InputProbe, raw->InputContext(0));
    raw->OnProgress = [this](TCustomFFmpeg& s, const TProgressInfo& v) { DoProgress(s, v); };
    raw->OnTerminate = [this](TCustomFFmpeg& s) { DoTerminate(s); };
    return tasks_->Add(std::move(task));
  } catch (const std::exception& e) {
    lastErrorMessage_ = e.what();
    return -1;
  }
}

bool TCustomFFmpegEngine::SetOutputFile(int taskIndex, const std::string& fileName, const TOutputOptions* outputOptions) {
  CheckWorking("SetOutputFile");
  try {
    TFFmpeg* task = tasks_->Get(taskIndex);
    if (task->OutputCount() >= maxFiles_) {
      lastErrorMessage_ = FormatText("max output files %d reached", maxFiles_);
      return false;
    }
    // Opening the output truncates it before a single packet is read: an
    // output that is one of the inputs would destroy what is to be converted.
    for (int i = 0; i < task->InputCount(); ++i) {
      const std::string input = DecodeFileName(task->InputContext(i)->url ? task->InputContext(i)->url : "");
      if (IsSameFile(input, fileName)) {
        lastErrorMessage_ =
            FormatText("Output file \"%s\" is the input file \"%s\": choose another name for the output",
                       fileName.c_str(), input.c_str());
        return false;
      }
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
  std::unique_lock<std::mutex> lock(terminateLock_);
  finishedCount_ = 0;
  nextIndex_ = 0;
  toStart_ = tasks_->Count();
  allTerminated_ = false;
  threadMode_ = threadCount > 0;
  codecThreadsPerTask_ = CodecThreadsPerTask(threadMode_ ? std::min(threadCount, tasks_->Count()) : 1);
  working_ = true;
  if (tasks_->Count() == 0) {
    // Nothing to run: the batch has ended at once, so callers waiting for
    // its end (and ClearTasks) are not left hanging.
    TTerminateInfo end;
    end.TaskIndex = -1;
    end.Finished = true;
    allTerminated_ = true;
    pendingReports_.push_back(end);
    lock.unlock();
    DeliverPendingReports();
    return;
  }
  // In thread mode the lock stays until every first task has started, so a
  // task that ends at once starts no other before this loop is done. The
  // calling thread runs its tasks itself; their reports take the lock.
  if (threadMode_) {
    for (int started = 0; toStart_ > 0 && started < std::max(threadCount, 1); ++started) StartNextTask();
    return;
  }
  lock.unlock();
  // Each task's reports reach the host once its run has returned: the
  // handler may destroy the engine, and nothing of it may run on after.
  runningInCaller_ = true;
  while (toStart_ > 0) {
    StartNextTask();
    if (!DeliverPendingReports()) return;
  }
  runningInCaller_ = false;
  DeliverPendingReports();
}

void TCustomFFmpegEngine::StartNextTask() {
  if (toStart_ <= 0) return;
  --toStart_;
  TFFmpeg* task = tasks_->Get(nextIndex_++);
  task->SetProgressInterval(static_cast<int64_t>(progressInterval_) * 1000);
  static constexpr int kNiceByPriority[] = {19, 10, 5, 0, 0, 0, 0};  // tpIdle .. tpTimeCritical
  task->SetWorkerNice(kNiceByPriority[static_cast<int>(threadPriority_)]);
  task->SetCodecThreads(codecThreadsPerTask_);
  task->Start(threadMode_);
}

void TCustomFFmpegEngine::Pause() { tasks_->SuspendAll(); }
void TCustomFFmpegEngine::Resume() { tasks_->ResumeAll(); }

void TCustomFFmpegEngine::Stop(bool wait) {
  {
    std::lock_guard<std::mutex> lock(terminateLock_);
    toStart_ = 0;
  }
  // From inside a delivery a task may be waiting for this very call to
  // return: asking is all that can be done without waiting for ever.
  if (InsideDelivery()) wait = false;
  for (int i = 0; i < tasks_->Count(); ++i) {
    TFFmpeg* t = tasks_->Get(i);
    if (t->Running())
      t->Stop(wait);
    else if (!t->Terminated())
      // A task that never started ends here, one after another, so their
      // reports keep their order: in thread mode they join the report line,
      // in the calling-thread mode they are delivered on this thread. The
      // running task's own report (and the batch end) comes last.
      t->StopOrTerminate(wait);
  }
  // The calling-thread mode outside StartTask: the reports of the tasks
  // ended here are delivered now (inside StartTask, once the running task
  // has returned).
  if (!threadMode_ && !runningInCaller_ && reportDepth_ == 0) DeliverPendingReports();
}

void TCustomFFmpegEngine::RemoveTask(int index) {
  CheckWorking("RemoveTask");
  tasks_->Delete(index);
}

void TCustomFFmpegEngine::ClearTasks() {
  if (working_ && !allTerminated_) throw FFmpegException("Cannot ClearTasks while working.");
  if (reportDepth_ > 0) {
    // Called from a termination report in the calling thread: the task that
    // reports is still running its last lines.
    for (auto& t : tasks_->TakeAll()) retired_.push_back(std::move(t));
  } else {
    tasks_->Clear();
    retired_.clear();
  }
  lastErrorMessage_.clear();
  finishedCount_ = nextIndex_ = toStart_ = 0;
  allTerminated_ = false;
  working_ = false;
}

void TCustomFFmpegEngine::SetPreview(bool value) {
  preview_ = value;
  tasks_->SetPreviewBit(1, value);
}

void TCustomFFmpegEngine::SetPreviewerFactory(TPreviewerFactory factory) {
  TPreviewerFactory replaced;  // the host's old maker goes after the lock
  std::lock_guard<std::mutex> lock(previewerFactoryLock_);
  replaced = std::exchange(previewerFactory_, std::move(factory));
}

std::unique_ptr<TPreviewer> TCustomFFmpegEngine::MakePreviewer() {
  TPreviewerFactory factory;
  {
    std::lock_guard<std::mutex> lock(previewerFactoryLock_);
    factory = previewerFactory_;
  }
  return factory ? factory() : nullptr;
}

void TCustomFFmpegEngine::SetPreviewBitmap(bool value) {
  previewBitmap_ = value;
  tasks_->SetPreviewBit(2, value);
}

void TCustomFFmpegEngine::Deliver(DeliveryTurn& turn, std::function<void()> call) {
  if (triggerInMainThread_ && handOver_ != nullptr && !handOver_->OnHostThread()) {
    hostDeliveries_.PostAndWait(*handOver_, [on = eventsOn_, call = std::move(call)] {
      if (!*on) return;
      DeliveryScope scope;
      call();
    });
    return;
  }
  turn.Take();
  try {
    DeliveryScope scope;
    TaskWorkScope work(this);
    call();
  } catch (...) {
    turn.Give();
    throw;
  }
  turn.Give();
}

void TCustomFFmpegEngine::DoCustomHook(TCustomFFmpeg& sender, TaskHookCall& call) {
  std::function<void(TCustomFFmpegEngine&, PHookInfo)> handler;
  {
    std::lock_guard<std::mutex> lock(hookLock_);
    handler = onCustomHook_;
  }
  if (!handler || !*eventsOn_) return;
  THookInfo info;
  info.TaskIndex = tasks_->IndexOf(&sender);
  info.Bitmap = call.bitmap;
  info.FrameNumber = call.frameNumber;
  info.PTS = call.pts;
  info.Update = call.update;
  info.StopHook = call.stopHook;
  // The hook runs on the task's thread whatever TriggerEventInMainThread says.
  hookTurn_.Take();
  try {
    DeliveryScope scope;
    TaskWorkScope work(this);
    handler(*this, &info);
  } catch (...) {
    hookTurn_.Give();
    throw;
  }
  hookTurn_.Give();
  call.update = info.Update;
  call.stopHook = info.StopHook;
}

void TCustomFFmpegEngine::DoPreviewBitmap(TCustomFFmpeg& sender, const Bitmap& bitmap, int64_t pts, int frameNumber) {
  std::function<void(TCustomFFmpegEngine&, const TPreviewInfo&)> handler;
  {
    std::lock_guard<std::mutex> lock(previewLock_);
    handler = onPreviewBitmap_;
  }
  // A task being stopped hands nothing more to the host: the host may be
  // the one waiting for it.
  if (!handler || (triggerInMainThread_ && sender.StopRequested())) return;
  TPreviewInfo info;
  info.TaskIndex = tasks_->IndexOf(&sender);
  info.Bitmap = &bitmap;
  info.FrameNumber = frameNumber;
  info.PTS = pts;
  Deliver(previewTurn_, [this, handler, info] { handler(*this, info); });
}

void TCustomFFmpegEngine::DoProgress(TCustomFFmpeg& sender, const TProgressInfo& values) {
  std::function<void(TCustomFFmpegEngine&, PProgressInfo)> handler;
  {
    std::lock_guard<std::mutex> lock(progressLock_);
    handler = onProgress_;
  }
  if (!handler || (triggerInMainThread_ && sender.StopRequested())) return;
  TProgressInfo info = values;
  info.TaskIndex = tasks_->IndexOf(&sender);
  Deliver(progressTurn_, [this, handler, info]() mutable { handler(*this, &info); });
}

bool TCustomFFmpegEngine::DeliverPendingReports() {
  const std::shared_ptr<std::atomic<bool>> alive = eventsOn_;
  for (;;) {
    std::vector<TTerminateInfo> reports;
    std::function<void(TCustomFFmpegEngine&, const TTerminateInfo&)> handler;
    {
      std::lock_guard<std::mutex> lock(terminateLock_);
      reports.swap(pendingReports_);
      handler = onTerminate_;
    }
    if (reports.empty() || !handler) return true;
    // A handler may stop the batch (more reports) or end the engine.
    for (const TTerminateInfo& info : reports) {
      ++reportDepth_;
      {
        DeliveryScope scope;
        try {
          handler(*this, info);
        } catch (...) {
          if (*alive) --reportDepth_;
          throw;
        }
      }
      if (!*alive) return false;
      --reportDepth_;
    }
  }
}

void TCustomFFmpegEngine::DoTerminate(TCustomFFmpeg& sender) {
  std::vector<TTerminateInfo> reports;
  std::function<void(TCustomFFmpegEngine&, const TTerminateInfo&)> handler;
  bool batchEnded = false;
  {
    std::lock_guard<std::mutex> lock(terminateLock_);
    static_cast<TFFmpeg&>(sender).InputProbe.reset();
    TTerminateInfo info;
    info.TaskIndex = tasks_->IndexOf(&sender);
    info.Finished = sender.Finished();
    info.Exception = sender.HasError();
    info.ExceptionMsg = sender.ErrorText();
    reports.push_back(info);
    ++finishedCount_;
    if (toStart_ <= 0 && finishedCount_ >= tasks_->Count()) {
      TTerminateInfo end;
      end.TaskIndex = -1;
      end.Finished = true;
      reports.push_back(end);
      batchEnded = true;
    }
    handler = onTerminate_;
    if (threadMode_) {
      if (batchEnded) allTerminated_ = true;
      // Queued under the lock, so reports keep the order they were raised in.
      if (handler)
        for (const TTerminateInfo& report : reports)
          reports_.Post([this, on = eventsOn_, handler, report] {
            if (!*on) return;
            DeliveryScope scope;
            handler(*this, report);
          });
      // A host pumping its hand-over until the batch has ended must not sit
      // out its pump timeout once the last report has been delivered.
      if (batchEnded && handOver_ != nullptr)
        reports_.Post([handOver = handOver_] { handOver->Nudge(); });
      if (!batchEnded) StartNextTask();
      return;
    }
  }
  // The calling thread: the task's own report, then the batch end, once
  // the task has returned (DeliverPendingReports).
  if (batchEnded) allTerminated_ = true;  // also when no handler is assigned
  std::lock_guard<std::mutex> lock(terminateLock_);
  pendingReports_.insert(pendingReports_.end(), reports.begin(), reports.end());
}

}  // namespace media
