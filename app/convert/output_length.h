// Whether a conversion gave the length its input promised. A damaged or
// half-copied input (the first half of a file whose index names ten seconds)
// converts to its end without an error, but into a much shorter video: the
// batch says so before such a video is published.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova::convert {

// How long a file is as its container says (µs); -1 when it cannot be read.
int64_t ConvertedLength(const std::string& file);

// What to tell the user when the output (outputLength µs) is much shorter
// than expected (expectedLength µs: the asked range, else the input's probed
// length): more than a second and more than a tenth short. "" when it is not,
// or when either length is unknown.
std::string ShortOutputNote(int64_t outputLength, int64_t expectedLength);

}  // namespace kestrova::convert
