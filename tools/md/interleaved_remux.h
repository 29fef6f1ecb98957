// Copies an MP4 file into a new one, packet for packet and bit for bit, with
// the index at the front and the streams laid out in short portions.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace md {

// Any failure: the text says what went wrong, naming the file.
class RemuxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The new index did not fit in the room reserved for it at the front; the
// same copy with the index moved to the front afterwards will work.
class ReservedIndexTooSmall : public RemuxError {
 public:
  using RemuxError::RemuxError;
};

struct RemuxSettings {
  int64_t portionLength = 500000;  // microseconds of each stream per portion
  // Leave room at the front for the index, sized from the input's own
  // index, so the data is written once. Without it the index is written at
  // the end and the whole file moved up behind it, a second pass over the data.
  bool reserveIndexRoom = true;
};

// Writes output (a path that does not name input) from input.
void RemuxInterleaved(const std::string& input, const std::string& output, const RemuxSettings& settings);

}  // namespace md
