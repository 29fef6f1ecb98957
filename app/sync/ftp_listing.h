// Reads a detailed directory listing (LIST) into names, sizes and
// modification times. libcurl hands the listing over as text and parses no times, so the
// parser is ours. It understands the two styles servers use in practice:
//   Unix: "-rw-r--r--   1 user group  1234 Mar  5 14:22 name"
//                                           "Mar  5  2023 name" (older than half a year)
//   DOS:  "03-05-23  02:22PM       <DIR>          name"
//         "03-05-2023  14:22            1234 name"
// Lines in neither style ("total 12", blank lines) are skipped. Times are
// the server's own clock; no zone is applied.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wall_time.h"

namespace kestrova::sync {

struct ListingEntry {
  std::string name;
  WallTime modified{};
  bool isDirectory = false;
  // Bytes, when the listing gives them (not for folders).
  std::optional<std::int64_t> size;
};

// today: the date against which a Unix time without a year is placed (the
// latest such date that is not more than a day ahead of it).
std::vector<ListingEntry> ParseListing(const std::string& text, WallTime today);

}  // namespace kestrova::sync
