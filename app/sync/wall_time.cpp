#include "wall_time.h"

#include <cstdio>
#include <ctime>

namespace kestrova::sync {

using namespace std::chrono;

WallTime MakeWallTime(int year, int month, int day, int hour, int minute, int second) {
  local_days date{std::chrono::year{year} / month / day};
  return date + hours{hour} + minutes{minute} + seconds{second};
}

WallTime CutToMinute(WallTime time) { return floor<minutes>(time); }

WallTime LocalWallTime(std::time_t utc) {
  std::tm parts{};
  localtime_r(&utc, &parts);
  return MakeWallTime(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                      parts.tm_sec);
}

std::string IsoText(WallTime time) {
  local_days day = floor<days>(time);
  year_month_day date{day};
  hh_mm_ss clock{time - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                static_cast<long>(clock.seconds().count()));
  return text;
}

}  // namespace kestrova::sync
