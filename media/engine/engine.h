// The engine component: a list of conversion tasks built from TInputOptions
// and TOutputOptions, run one after another in the calling thread or N at a
// time on worker threads, reporting through four events (custom hook,
// preview bitmap, progress, termination).
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
#include "media/engine/transcoder.h"
#include "media/probe.h"

namespace media {

// One task: an input with its outputs, and kept copies of the records it
// was built from (nothing reads them back; they live as long as the task).
class TFFmpeg : public TCustomFFmpeg {
 public:
  explicit TFFmpeg(int maxFiles) : TCustomFFmpeg(maxFiles) {}
  ~TFFmpeg() override { InputProbe.reset(); }
  TInputOptions KeptInput;
  std::vector<TOutputOptions> KeptOutputs;
  // A probe bound to the opened input, for callers that want to look at it;
  // let go when the run ends and the input closes.
  std::unique_ptr<TAVProbe> InputProbe;
};

class TFFmpegList {
 public:
  int Add(std::unique_ptr<TFFmpeg> task);
  TFFmpeg* Get(int index) const;
  int IndexOf(const TCustomFFmpeg* task) const;
  int Count() const { return static_cast<int>(tasks_.size()); }
  void Delete(int index);
  void Clear();
  // Hands every task over without freeing it (for a task still on the stack).
  std::vector<std::unique_ptr<TFFmpeg>> TakeAll();
  void SuspendAll();
  void ResumeAll();
  void StopOrTerminateAll(bool wait);
  void SetPreviewBit(int bit, bool on);

 private:
  std::vector<std::unique_ptr<TFFmpeg>> tasks_;
};

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TCustomFFmpegEngine : public TFFBaseComponent {
 public:
  TCustomFFmpegEngine();
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
  int TaskCount() const { return tasks_.Count(); }
  TFFmpeg* Task(int index) const { return tasks_.Get(index); }
  bool Working() const { return working_; }
  bool AllTerminated() const { return allTerminated_; }

  bool Preview() const { return preview_; }
  void SetPreview(bool value);
  bool PreviewBitmap() const { return previewBitmap_; }
  void SetPreviewBitmap(bool value);
  int ProgressInterval() const { return progressInterval_; }
  void SetProgressInterval(int milliseconds) { progressInterval_ = milliseconds <= 100 ? 100 : milliseconds; }
  TThreadPriority ThreadPriority() const { return threadPriority_; }
  void SetThreadPriority(TThreadPriority value) { threadPriority_ = value; }
  bool TriggerEventInMainThread() const { return triggerInMainThread_; }
  void SetTriggerEventInMainThread(bool value) { triggerInMainThread_ = value; }

 protected:
  // The four event calls, in their fixed order.
  virtual void DoCustomHook(TCustomFFmpeg& sender, TCustomFFmpeg::HookCall& call);
  virtual void DoPreviewBitmap(TCustomFFmpeg& sender, const Bitmap& bitmap, int64_t pts, int frameNumber);
  virtual void DoProgress(TCustomFFmpeg& sender, const TProgressInfo& values);
  virtual void DoTerminate(TCustomFFmpeg& sender);

  std::function<void(TCustomFFmpegEngine&, PHookInfo)> onCustomHook_;
  std::function<void(TCustomFFmpegEngine&, const TPreviewInfo&)> onPreviewBitmap_;
  std::function<void(TCustomFFmpegEngine&, PProgressInfo)> onProgress_;
  std::function<void(TCustomFFmpegEngine&, const TTerminateInfo&)> onTerminate_;

 private:
  void CheckWorking(const char* operation) const;
  void StartNextTask();
  void RaiseTerminate(const TTerminateInfo& info);

  TAVProbe probe_;
  TFFmpegList tasks_;
  std::string lastErrorMessage_;
  int finishedCount_ = 0;
  int nextIndex_ = 0;
  int toStart_ = 0;
  std::atomic<bool> allTerminated_{false};
  bool threadMode_ = false;
  std::atomic<bool> working_{false};
  int maxFiles_ = kMaxFiles;
  int verbosity_ = 1;
  bool preview_ = false;
  bool previewBitmap_ = false;
  int progressInterval_ = 500;
  TThreadPriority threadPriority_ = TThreadPriority::tpNormal;
  bool triggerInMainThread_ = true;
  std::mutex hookLock_, previewLock_, progressLock_;
  std::recursive_mutex terminateLock_;
  THookInfo hookInfo_;
  TPreviewInfo previewInfo_;
  TProgressInfo progressInfo_;
  TTerminateInfo terminateInfo_;
  // Tasks cleared from inside their own termination report (calling-thread
  // mode): freed once that report has returned.
  std::vector<std::unique_ptr<TFFmpeg>> retired_;
  int reportDepth_ = 0;
  std::mutex reportThreadsLock_;
  // Reports run on threads of their own but are delivered in the order they
  // were raised (the batch end after the last task's report).
  std::condition_variable reportTurn_;
  uint64_t reportsRaised_ = 0;
  uint64_t reportsDelivered_ = 0;
  std::vector<std::thread> reportThreads_;  // the terminate-report threads, joined on destruction
};

class TFFmpegEngine : public TCustomFFmpegEngine {
 public:
  using TCustomFFmpegEngine::TCustomFFmpegEngine;
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
