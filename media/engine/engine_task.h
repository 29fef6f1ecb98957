// The engine's own view of its tasks: each task is a conversion task
// (transcoder.h) that also keeps the records it was built from, and the list
// the engine runs them from. Internal to the media library (its sources and
// tests); hosts read a task's records through TCustomFFmpegEngine::TaskRecord.
#pragma once

#include <memory>
#include <vector>

#include "media/engine/engine.h"
#include "media/engine/transcoder.h"
#include "media/probe.h"

namespace media {

// One task: an input with its outputs, and kept copies of the records it
// was built from (nothing reads them back; they live as long as the task).
class TFFmpeg : public TCustomFFmpeg, public TTaskRecord {
 public:
  explicit TFFmpeg(int maxFiles) : TCustomFFmpeg(maxFiles) {}
  ~TFFmpeg() override { InputProbe.reset(); }
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

}  // namespace media
