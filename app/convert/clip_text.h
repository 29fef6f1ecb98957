// Texts and names the conversion dialogs share with the catalogue: the time
// format of the range and thumbnail edits, the 16-character name a new video
// and its thumbnail share, and a file's base name.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova::convert {

// Microseconds as "HH:MM:SS.mmm" (hours not wrapped at 24).
std::string DurationToStr(int64_t t);

// 16 characters drawn from A-Z, a-z and 0-9, from a generator seeded by the clock.
std::string randomFileName();

// A name up to its first "." ("a.b.mp4" -> "a"; "My Clip" stays).
std::string BaseName(const std::string& name);

}  // namespace kestrova::convert
