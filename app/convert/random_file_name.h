// The 16-character name a new video and its thumbnail share.
#pragma once

#include <string>

namespace kestrova::convert {

// 16 characters, each drawn uniformly from A-Z, a-z and 0-9. Every call
// draws from a freshly seeded generator; the seed comes from the system's
// entropy source rather than the clock, so two files added within the same
// clock tick still get different names (same names would send two
// conversions into one output file).
std::string randomFileName();

}  // namespace kestrova::convert
