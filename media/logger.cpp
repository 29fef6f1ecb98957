#include "media/logger.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <strings.h>

#include "media/entry_points.h"

namespace media {
namespace {

std::atomic<int> g_libraryLogLevel{32};

std::mutex g_instanceMutex;
TFFLogger* g_instance = nullptr;
std::unique_ptr<TFFLogger> g_unowned;  // the one FFLogger() made itself

const char* const kLevelNames[] = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug"};

}  // namespace

int LogLevelToLibrary(TLogLevel level) { return (int(level) - 1) * 8; }

TLogLevel LibraryToLogLevel(int n) {
  if (n < -8) return llQuiet;
  if (n >= 48) return llDebug;
  return TLogLevel(n / 8 + 1);
}

const char* LogLevelName(TLogLevel level) { return kLevelNames[int(level)]; }

int LibraryLogLevel() { return g_libraryLogLevel; }

std::uint32_t CurrentThreadId() { return std::uint32_t(syscall(SYS_gettid)); }

TFFLogger::TFFLogger() : logLevel_(LibraryToLogLevel(g_libraryLogLevel)) {
  std::lock_guard lock(g_instanceMutex);
  // The stand-in FFLogger() made for early library messages gives way to the
  // host's own logger; any other second instance is a programming error.
  if (g_instance && g_instance != g_unowned.get()) {
    throw std::logic_error("Allow creating only one instance of TFFLogger.");
  }
  g_instance = this;
}

TFFLogger::~TFFLogger() {
  std::lock_guard lock(g_instanceMutex);
  if (g_instance == this) g_instance = nullptr;
}

TFFLogger& FFLogger() {
  static std::mutex creation;
  std::lock_guard creating(creation);
  {
    std::lock_guard lock(g_instanceMutex);
    if (g_instance) return *g_instance;
  }
  g_unowned = std::make_unique<TFFLogger>();
  return *g_unowned;
}

void TFFLogger::SetLogLevel(TLogLevel level) {
  if (logLevel_.exchange(level) != level) ApplyLibraryLevel();
}

void TFFLogger::SetLogLevelByName(const std::string& name) {
  int libraryLevel = 0;
  bool named = false;
  for (int i = 0; i <= llDebug; ++i) {
    if (strcasecmp(name.c_str(), kLevelNames[i]) == 0) {
      libraryLevel = LogLevelToLibrary(TLogLevel(i));
      named = true;
      break;
    }
  }
  if (!named) {
    size_t used = 0;
    try {
      libraryLevel = std::stoi(name, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != name.size()) throw std::invalid_argument("'" + name + "' is not a valid integer value");
  }
  SetLogLevel(LibraryToLogLevel(libraryLevel));
}

void TFFLogger::ApplyLibraryLevel() {
  if (!Av().av_log_set_level) return;
  g_libraryLogLevel = LogLevelToLibrary(logLevel_);
  Av().av_log_set_level(g_libraryLogLevel);
}

void TFFLogger::InstallLibraryLog() {
  if (!Av().av_log_set_callback || !Av().av_log_set_level) throw std::logic_error("avutil is not bound");
  Av().av_log_set_callback(LibraryLogCallback);
  ApplyLibraryLevel();
}

void TFFLogger::Raise(const void* sender, std::uint32_t threadId, TLogLevel level, const std::string& message) {
  // Each call carries its own values: nothing is shared between callers.
  if (triggerInMainThread_ && handOver_ != nullptr && !handOver_->OnHostThread()) {
    handOver_->Post([handler = onLog_, sender, threadId, level, message] { handler(sender, threadId, level, message); });
  } else {
    onLog_(sender, threadId, level, message);
  }
}

void TFFLogger::Log(const void* sender, TLogLevel level, const std::string& message) {
  if (!onLog_) return;
  TLogLevel current = logLevel_;
  // Components' verbose messages show at every level but quiet.
  if (level <= current || (level == llVerbose && current > llQuiet)) {
    Raise(sender, CurrentThreadId(), level, message);
  }
}

void TFFLogger::LogFmt(const void* sender, TLogLevel level, const char* format, ...) {
  if (!onLog_) return;
  char buffer[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  Log(sender, level, buffer);
}

void TFFLogger::LogLibraryLine(std::uint32_t threadId, int libraryLevel, const std::string& line) {
  if (!onLog_) return;
  Raise(this, threadId, LibraryToLogLevel(libraryLevel), line);
}

void LibraryLogCallback(void* object, int level, const char* format, va_list args) {
  if (level > g_libraryLogLevel) return;
  char prefix[256] = "";
  if (object) {
    AVClass* avClass = *static_cast<AVClass**>(object);
    const char* name = avClass && avClass->item_name ? avClass->item_name(object) : "";
    snprintf(prefix, sizeof prefix, "[%s @ %p]", name ? name : "", object);
  }
  // Longer messages are cut at the buffer's end.
  char message[2048] = {0};
  vsnprintf(message, sizeof message, format, args);

  // A library message may arrive in pieces, and pieces of different threads
  // interleave: each thread assembles its own lines.
  thread_local std::string pending;
  std::uint32_t threadId = CurrentThreadId();
  if (pending.empty()) {
    pending = std::string(prefix) + message;
  } else {
    pending += message;
  }
  for (auto feed = pending.find('\n'); feed != std::string::npos; feed = pending.find('\n')) {
    std::string line = pending.substr(0, feed);
    pending.erase(0, feed + 1);
    FFLogger().LogLibraryLine(threadId, level, line);
  }
}

}  // namespace media
