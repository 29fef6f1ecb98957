// Times of the change scan are wall-clock readings without a zone: the local
// file's time in the local zone and the server's time as its listing prints
// it. They are compared as they stand, so a plain calendar value suits them.
#pragma once

#include <chrono>
#include <string>

namespace kestrova::sync {

using WallTime = std::chrono::local_seconds;

// 1970-01-01 00:00:00: the time of a file the server does not have.
inline constexpr WallTime kNoServerCopy{};

WallTime MakeWallTime(int year, int month, int day, int hour, int minute, int second = 0);
// Seconds dropped.
WallTime CutToMinute(WallTime time);
// A file's last modification in the local zone, as a wall-clock reading.
WallTime LocalWallTime(std::time_t utc);
// "yyyy-mm-dd hh:mm:ss", for logs and tests.
std::string IsoText(WallTime time);

}  // namespace kestrova::sync
