// The top-level boxes of an MP4 file, read straight from the file: md uses
// the size of the input's index to reserve room for the new one at the front.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace md {

struct Mp4Box {
  std::string type;  // four characters: "ftyp", "moov", "mdat", ...
  uint64_t offset = 0;
  uint64_t size = 0;
};

// The boxes in file order. Stops at the first box that does not fit in the
// file (a damaged or truncated tail); empty when the file cannot be read.
std::vector<Mp4Box> ReadTopLevelBoxes(const std::string& path);

}  // namespace md
