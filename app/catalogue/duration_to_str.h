// The position and length texts of the preview and the options dialog.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova::catalogue {

// "HH:MM:SS.mmm" of a time in microseconds, by integer division throughout;
// hours are not wrapped at 24 (100 hours read 100:00:00.000).
std::string DurationToStr(int64_t microseconds);

}  // namespace kestrova::catalogue
