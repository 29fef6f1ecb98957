#include <cstdio>
#include <ctime>

#include "date_text.h"

namespace kestrova::sync {

using namespace std::chrono;

std::string LanguageLessDateTimeText(WallTime time) {
  local_days day = floor<days>(time);
  year_month_day ymd{day};
  hh_mm_ss clock{time - day};
  char text[32];
  int length = std::snprintf(text, sizeof text, "%04d/%02u/%02u", static_cast<int>(ymd.year()),
                             static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  if (time != day)
    std::snprintf(text + length, sizeof text - static_cast<size_t>(length), " %02d:%02d:%02d",
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
  return text;
}

WallTime NowWallTime() { return LocalWallTime(std::time(nullptr)); }

}  // namespace kestrova::sync
