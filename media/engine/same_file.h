// Whether two names lead to one file on disk, however they are spelt.
#pragma once

#include <string>

namespace media {

// True when both names (plain paths or "unicode:utf8:" names) exist and are
// the same file: "./a.mp4", a hard link and a symbolic link all count.
bool IsSameFile(const std::string& first, const std::string& second);

}  // namespace media
