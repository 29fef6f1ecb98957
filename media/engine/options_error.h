// The engine's error: a message and nothing else. Set-up and loop failures
// raise it; the component turns it into LastErrorMessage or a termination
// report, so it never leaves the engine.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

namespace media {

class FFmpegException : public std::runtime_error {
 public:
  explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};

// printf-style message text (the engine's messages are printf formats).
template <typename... Args>
std::string FormatText(const char* format, Args&&... args) {
  int size = std::snprintf(nullptr, 0, format, std::forward<Args>(args)...);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, std::forward<Args>(args)...);
  out.resize(static_cast<size_t>(size));
  return out;
}

inline std::string FormatText(const char* format) { return format; }

template <typename... Args>
[[noreturn]] void Raise(const char* format, Args&&... args) {
  throw FFmpegException(FormatText(format, std::forward<Args>(args)...));
}

}  // namespace media
