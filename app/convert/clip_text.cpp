#include "clip_text.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <random>

namespace kestrova::convert {

std::string DurationToStr(int64_t t) {
  const int64_t s = t / 1000000;
  char text[64];
  std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, s / 3600, (s / 60) % 60,
                s % 60, (t % 1000000) / 1000);
  return text;
}

std::string randomFileName() {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // Reseeded on every call, as each file gets its own draw; the clock's
  // nanoseconds keep two calls in one millisecond apart.
  std::mt19937_64 generator(static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 2);
  std::string name;
  for (int i = 0; i < 16; ++i) name += kAlphabet[pick(generator)];
  return name;
}

std::string BaseName(const std::string& name) { return name.substr(0, name.find('.')); }

}  // namespace kestrova::convert
