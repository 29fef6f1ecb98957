// The engine component: a list of conversion tasks built from TInputOptions
// and TOutputOptions, run one after another in the calling thread or N at a
// time on worker threads, reporting through four events (custom hook,
// preview bitmap, progress, termination).
//
// The contract with the host:
// - The host gives the engine its hand-over (media/hand_over.h); events that
//   must run on the host's thread (TriggerEventInMainThread) go through it,
//   and the host pumps it (an event loop does so by itself).
// - The engine never calls a host handler, and never waits for the host,
//   while it holds one of its own locks: it copies what the handler needs
//   under the lock, lets go, then delivers. So the host may call any
//   operation from inside a handler or while a delivery waits for it.
// - Destroying the engine from inside a handler: allowed from the progress
//   and preview handlers when they run on the host's thread
//   (TriggerEventInMainThread with a hand-over, thread mode), and from the
//   termination handler in either mode; the engine ends its tasks without
//   waiting for the handler, which must not touch the engine (nor the
//   picture it was lent) once the destructor has returned. Handlers that run
//   on a task's own thread in the middle of its work (the custom hook always;
//   progress and preview with TriggerEventInMainThread off, or in the
//   calling-thread mode) cannot: the task runs on under them. Destroying the
//   engine from one of them is a programming error that ends the program
//   with its reason. Stop, Pause and Resume are allowed from every handler.
// - Deliveries of one event never overlap: on the host's thread they queue
//   up by themselves, on task threads they take turns.
// - Termination reports in thread mode arrive on one thread of the engine's
//   own, in the order raised, the batch end last. In the calling-thread mode
//   they arrive on the calling thread.
// - Stop(true) on the host's thread keeps pumping the hand-over (and, through
//   it, the host's own events) while it waits. Called from inside one of the
//   engine's own deliveries it only asks the tasks to stop: a task may be
//   waiting for that very delivery to return.
// - The hook and preview pictures are lent to the handler for the duration
//   of the call only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/base_component.h"
#include "media/engine/engine_records.h"
#include "media/engine/preview.h"
#include "media/engine/report_line.h"
#include "media/hand_over.h"
#include "media/probe.h"
#include "media/waited_deliveries.h"

namespace media {

class TCustomFFmpeg;     // one conversion task (internal: transcoder.h)
class TFFmpeg;           // the engine's task (internal: engine_task.h)
class TFFmpegList;
struct TaskHookCall;     // a custom-hook call of a task (internal: transcoder.h)

// What a host may read back of one task: kept copies of the records it was
// built from (the input's, then one per output).
struct TTaskRecord {
  TInputOptions KeptInput;
  std::vector<TOutputOptions> KeptOutputs;
};

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TCustomFFmpegEngine : public TFFBaseComponent {
 public:
  // handOver: the host's, outliving the engine; null runs every event on
  // the thread that raises it.
  explicit TCustomFFmpegEngine(HandOver* handOver = nullptr);
  ~TCustomFFmpegEngine() override;
  TCustomFFmpegEngine(const TCustomFFmpegEngine&) = delete;
  TCustomFFmpegEngine& operator=(const TCustomFFmpegEngine&) = delete;

  std::string About() const { return "Kestrova transcoding engine"; }
  std::string Version() const { return "3.2a"; }

  bool LibrariesLoaded() const;
  bool LoadLibraries(const std::string& path);

  int AddTask(const std::string& fileName, const TInputOptions* inputOptions = nullptr);
  bool SetOutputFile(int taskIndex, const std::string& fileName, const TOutputOptions* outputOptions = nullptr);
  void StartTask(int threadCount);
  void Pause();
  void Resume();
  void Stop(bool wait);
  void RemoveTask(int index);
  void ClearTasks();

  const std::string& LastErrorMessage() const { return lastErrorMessage_; }
  // The component's own probe, for the dialogs to inspect files.
  TAVProbe& Probe() { return probe_; }
  int TaskCount() const;
  // The records a task was built from; raises std::out_of_range for an index
  // that names no task.
  const TTaskRecord& TaskRecord(int index) const;
  // The task itself, for the media library's own code and its tests
  // (engine_task.h defines it).
  TFFmpeg* Task(int index) const;
  bool Working() const { return working_; }
  bool AllTerminated() const { return allTerminated_; }

  bool Preview() const { return preview_; }
  void SetPreview(bool value);
  bool PreviewBitmap() const { return previewBitmap_; }
  void SetPreviewBitmap(bool value);
  // The host's preview window maker (Preview on). It is called on the task
  // threads, with no lock of the engine's held; the engine drops it when it
  // is destroyed, before the host's windows go.
  void SetPreviewerFactory(TPreviewerFactory factory);
  int ProgressInterval() const { return progressInterval_; }
  void SetProgressInterval(int milliseconds) { progressInterval_ = milliseconds <= 100 ? 100 : milliseconds; }
  TThreadPriority ThreadPriority() const { return threadPriority_; }
  void SetThreadPriority(TThreadPriority value) { threadPriority_ = value; }
  bool TriggerEventInMainThread() const { return triggerInMainThread_; }
  void SetTriggerEventInMainThread(bool value) { triggerInMainThread_ = value; }
  // For tasks added from now on: an option name in an extra options text that
  // nothing knows, or a value the libraries refuse, makes AddTask or
  // SetOutputFile fail instead of being passed over (options a user typed).
  bool StrictOptions() const { return strictOptions_; }
  void SetStrictOptions(bool value) { strictOptions_ = value; }

  // Runs call on the host's thread through the hand-over and returns once it
  // has run (at once on the host's thread or without a hand-over).
  void RunInMainThread(const std::function<void()>& call);

 protected:
  // The four event calls, in their fixed order.
  virtual void DoCustomHook(TCustomFFmpeg& sender, TaskHookCall& call);
  virtual void DoPreviewBitmap(TCustomFFmpeg& sender, const Bitmap& bitmap, int64_t pts, int frameNumber);
  virtual void DoProgress(TCustomFFmpeg& sender, const TProgressInfo& values);
  virtual void DoTerminate(TCustomFFmpeg& sender);

  // Stops every task and ends the report line; running it again does nothing.
  // Tasks call the Do* functions above from their threads: a class that
  // overrides them calls this first thing in its own destructor, while its
  // part of the object is still there.
  void StopForDestruction();

  std::function<void(TCustomFFmpegEngine&, PHookInfo)> onCustomHook_;
  std::function<void(TCustomFFmpegEngine&, const TPreviewInfo&)> onPreviewBitmap_;
  std::function<void(TCustomFFmpegEngine&, PProgressInfo)> onProgress_;
  std::function<void(TCustomFFmpegEngine&, const TTerminateInfo&)> onTerminate_;

 private:
  // Deliveries of one event on task threads take turns; a flag rather than a
  // held lock, so no lock of ours is held while a handler runs.
  class DeliveryTurn {
   public:
    void Take();
    void Give();

   private:
    std::mutex mutex_;
    std::condition_variable free_;
    bool busy_ = false;
  };

  void CheckWorking(const char* operation) const;
  void StartNextTask();
  // Runs a handler call the way TriggerEventInMainThread asks: posted to
  // the host and waited for (skipped once the events are off; the wait ends
  // when the engine goes), or here in turns. The call owns what it uses.
  void Deliver(DeliveryTurn& turn, std::function<void()> call);
  // Termination reports of the calling-thread mode, raised while a task ran,
  // delivered once its run has returned (the handler may destroy the engine).
  // Returns false when the engine is gone.
  bool DeliverPendingReports();
  static bool InsideDelivery();
  // A window from the host's factory, made outside the factory's lock.
  std::unique_ptr<TPreviewer> MakePreviewer();
  // Whether a handler of this engine runs on this thread above a task's
  // work (see the contract: the engine cannot be destroyed from there).
  bool InsideTaskWork() const;

  HandOver* handOver_;
  TAVProbe probe_;
  std::unique_ptr<TFFmpegList> tasks_;
  std::string lastErrorMessage_;
  int finishedCount_ = 0;
  int nextIndex_ = 0;
  int toStart_ = 0;
  std::atomic<bool> allTerminated_{false};
  bool threadMode_ = false;
  // Codec threads each task of the running batch may use (0: the codecs' own choice).
  int codecThreadsPerTask_ = 0;
  std::atomic<bool> working_{false};
  int maxFiles_ = kMaxFiles;
  int verbosity_ = 1;
  bool preview_ = false;
  bool previewBitmap_ = false;
  bool strictOptions_ = false;
  int progressInterval_ = 500;
  TThreadPriority threadPriority_ = TThreadPriority::tpNormal;
  std::atomic<bool> triggerInMainThread_{true};
  // Cleared first by the destructor: deliveries that reach the host after it
  // skip their handler (its receiver may be gone).
  // Shared with the deliveries on their way to the host, which may outlive
  // the engine.
  std::shared_ptr<std::atomic<bool>> eventsOn_ = std::make_shared<std::atomic<bool>>(true);
  // Deliveries the tasks wait for on the host's thread: let go when the
  // engine goes (from inside one of them, maybe).
  WaitedDeliveries hostDeliveries_;
  // Each guards its handler while it is read; never held during a delivery.
  std::mutex hookLock_, previewLock_, progressLock_, terminateLock_;
  std::mutex previewerFactoryLock_;
  TPreviewerFactory previewerFactory_;
  DeliveryTurn hookTurn_, previewTurn_, progressTurn_;
  // Tasks cleared from inside their own termination report (calling-thread
  // mode): freed once that report has returned.
  std::vector<std::unique_ptr<TFFmpeg>> retired_;
  std::atomic<int> reportDepth_{0};
  // Calling-thread mode: reports raised and not yet delivered (guarded by
  // terminateLock_), and whether StartTask is running the tasks.
  std::vector<TTerminateInfo> pendingReports_;
  bool runningInCaller_ = false;
  ReportLine reports_{handOver_};
};

class TFFmpegEngine : public TCustomFFmpegEngine {
 public:
  using TCustomFFmpegEngine::TCustomFFmpegEngine;
  ~TFFmpegEngine() override { StopForDestruction(); }
  void SetOnCustomHook(std::function<void(TCustomFFmpegEngine&, PHookInfo)> h) { onCustomHook_ = std::move(h); }
  void SetOnPreviewBitmap(std::function<void(TCustomFFmpegEngine&, const TPreviewInfo&)> h) {
    onPreviewBitmap_ = std::move(h);
  }
  void SetOnProgress(std::function<void(TCustomFFmpegEngine&, PProgressInfo)> h) { onProgress_ = std::move(h); }
  void SetOnTerminate(std::function<void(TCustomFFmpegEngine&, const TTerminateInfo&)> h) {
    onTerminate_ = std::move(h);
  }
};

}  // namespace media
