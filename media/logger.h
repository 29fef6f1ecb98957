// TFFLogger: the one log of the media code. It turns the libraries' own log
// output and the components' messages into one OnLog event.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "media/base_component.h"
#include "media/hand_over.h"

namespace media {

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// The libraries filter on their own numeric levels (-8 quiet ... 48 debug).
int LogLevelToLibrary(TLogLevel level);
TLogLevel LibraryToLogLevel(int libraryLevel);
// "quiet", "panic", ..., "debug".
const char* LogLevelName(TLogLevel level);

// The process-wide level the library log callback filters on (starts at 32).
int LibraryLogLevel();

// The id of the calling thread as the log reports it.
std::uint32_t CurrentThreadId();

using TLogEvent = std::function<void(const void* sender, std::uint32_t threadId, TLogLevel level,
                                     const std::string& message)>;

class TFFLogger : public TFFBaseComponent {
 public:
  // Only one may exist: a second throws std::logic_error with
  // "Allow creating only one instance of TFFLogger.". The one FFLogger() makes
  // on its own (for messages before the host made its logger) gives way.
  TFFLogger();
  ~TFFLogger() override;

  TLogLevel LogLevel() const { return logLevel_; }
  void SetLogLevel(TLogLevel level);
  // A level name (any case) or a library level number; other text throws
  // std::invalid_argument.
  void SetLogLevelByName(const std::string& name);

  bool TriggerEventInMainThread() const { return triggerInMainThread_; }
  void SetTriggerEventInMainThread(bool value) { triggerInMainThread_ = value; }
  // The host's hand-over for TriggerEventInMainThread (none: every line is
  // delivered on the thread that logs it). Set before threads start logging.
  // Lines from other threads are posted, not waited for: a thread may log
  // while it holds a lock of the library's (the codec lock), and the host
  // may be waiting for that lock.
  void SetHandOver(HandOver* handOver) { handOver_ = handOver; }

  // Set before threads start logging; it is read without a lock.
  void SetOnLog(TLogEvent handler) { onLog_ = std::move(handler); }

  void Log(const void* sender, TLogLevel level, const std::string& message);
  void LogFmt(const void* sender, TLogLevel level, const char* format, ...) __attribute__((format(printf, 4, 5)));
  // One complete line from the library log callback.
  void LogLibraryLine(std::uint32_t threadId, int libraryLevel, const std::string& line);

  // Installs the library log callback (avutil must be bound), then the level.
  void InstallLibraryLog();
  void ApplyLibraryLevel();

 private:
  void Raise(const void* sender, std::uint32_t threadId, TLogLevel level, const std::string& message);

  std::atomic<TLogLevel> logLevel_;
  std::atomic<bool> triggerInMainThread_{true};
  HandOver* handOver_ = nullptr;
  TLogEvent onLog_;
};

// The one logger; creates an unowned one on first use when none exists.
TFFLogger& FFLogger();

// The callback handed to av_log_set_callback. Exposed for tests.
void LibraryLogCallback(void* object, int level, const char* format, va_list args);

}  // namespace media
