// For tests of calls that used to hang: a guard that ends the program with
// the name of the case when one does not finish in time (a hang then fails
// that case by name instead of running the whole program into its time-out),
// and the number of threads the process runs, to see that a component left
// none behind.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

namespace kestrova::test {

class HangGuard {
 public:
  HangGuard(std::string what, std::chrono::seconds limit) : what_(std::move(what)) {
    thread_ = std::thread([this, limit] {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, limit, [this] { return done_; })) {
        std::fprintf(stderr, "HANG: %s did not finish within %lld s\n", what_.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::abort();
      }
    });
  }
  ~HangGuard() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread thread_;
};

// Threads of this process right now.
inline int ProcessThreadCount() {
  std::error_code error;
  std::filesystem::directory_iterator tasks("/proc/self/task", error);
  if (error) return -1;
  return static_cast<int>(std::distance(tasks, std::filesystem::directory_iterator()));
}

// Their names, for a message.
inline std::string ProcessThreadNames() {
  std::string names;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::FILE* comm = std::fopen((task.path() / "comm").c_str(), "r");
    if (!comm) continue;
    char name[64] = {};
    if (std::fgets(name, sizeof name, comm)) {
      std::string text(name);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      names += (names.empty() ? "" : ", ") + text;
    }
    std::fclose(comm);
  }
  return names;
}

}  // namespace kestrova::test
