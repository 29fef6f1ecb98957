#include "media/engine/same_file.h"

#include <filesystem>
#include <system_error>

#include "media/unicode_io.h"

namespace media {

bool IsSameFile(const std::string& first, const std::string& second) {
  std::error_code ec;
  // Device and inode are compared; a name that doesn't exist yet is nobody.
  const bool same = std::filesystem::equivalent(DecodeFileName(first), DecodeFileName(second), ec);
  return !ec && same;
}

}  // namespace media
