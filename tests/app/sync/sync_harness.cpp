#include "sync_harness.h"

#include <ctime>

#include "date_text.h"

namespace kestrova::sync {

WallTime SyncHarness::NowWallTimeForTests() { return NowWallTime(); }

std::string LocalTimeText(long offsetSeconds) {
  std::time_t when = std::time(nullptr) + offsetSeconds;
  std::tm parts{};
  localtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

long WholeMinuteOffset(long offsetSeconds) {
  std::time_t when = std::time(nullptr) + offsetSeconds;
  return offsetSeconds - static_cast<long>(when % 60);
}

}  // namespace kestrova::sync
