// Date-time text as the desktop shows it in the user's locale: short date, a
// blank, the time with seconds; the time is left out at exactly midnight (so
// a file the server lacks shows 1970's date alone). Without a language (C
// or POSIX locale) the text reads as a Chinese desktop shows it:
// "2026/12/10 11:53:00".
#pragma once

#include <string>

#include "wall_time.h"

namespace kestrova::sync {

std::string DateTimeText(WallTime time);
// The rendering without a language: "2026/12/10 11:53:00", the date alone at
// midnight. The terminal tool shows every date this way.
std::string LanguageLessDateTimeText(WallTime time);

// The scan time record: "7in10.ini" in the executable's folder, section
// "sys", key "createtime", the given time as date-time text.
void WriteScanTime(const std::string& executableFolder, WallTime time);

// The wall-clock time now, in the local zone.
WallTime NowWallTime();

}  // namespace kestrova::sync
