// Runs an engine's batch the way a host does: its hand-over pumped until the
// batch-end report arrives.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "media/engine/engine.h"
#include "media/engine/engine_task.h"  // the tasks themselves, not only their records
#include "media/hand_over.h"

namespace kestrova::test {

struct BatchRecorder {
  std::mutex lock;
  std::vector<media::TTerminateInfo> reports;
  std::vector<std::thread::id> threads;  // where each report arrived
  std::atomic<bool> ended{false};

  void Attach(media::TFFmpegEngine& engine) {
    engine.SetOnTerminate([this](media::TCustomFFmpegEngine&, const media::TTerminateInfo& info) {
      std::lock_guard<std::mutex> guard(lock);
      reports.push_back(info);
      threads.push_back(std::this_thread::get_id());
      if (info.TaskIndex == -1) ended = true;
    });
  }
  // The report of one task (the first one with that index).
  media::TTerminateInfo Report(int taskIndex) {
    std::lock_guard<std::mutex> guard(lock);
    for (auto& r : reports)
      if (r.TaskIndex == taskIndex) return r;
    return {};
  }
};

// Pumps the hand-over until the batch has ended (or the time is up).
inline bool PumpUntilEnded(media::HandOver& handOver, BatchRecorder& recorder,
                           std::chrono::seconds limit = std::chrono::seconds(120)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!recorder.ended && std::chrono::steady_clock::now() < deadline) handOver.Pump(std::chrono::milliseconds(20));
  return recorder.ended;
}

}  // namespace kestrova::test
