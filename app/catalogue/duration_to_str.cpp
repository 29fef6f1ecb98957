#include "duration_to_str.h"

#include <cstdio>

namespace kestrova::catalogue {

std::string DurationToStr(int64_t microseconds) {
  int64_t seconds = microseconds / 1000000;
  char text[48];
  std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld.%.3lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60),
                static_cast<long long>((microseconds % 1000000) / 1000));
  return text;
}

}  // namespace kestrova::catalogue
