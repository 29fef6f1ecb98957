#include "option_close_check.h"

#include <unistd.h>

namespace kestrova::convert {

bool OutputFolderWritable(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return false;
  // access() answers for this user and also reports a read-only mount.
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::vector<std::string> OkRefusals(bool outputFolderWritable, const std::string& edtStartPic) {
  std::vector<std::string> refusals;
  if (!outputFolderWritable) refusals.push_back(kOutputFolderRefused);
  if (edtStartPic == kNoCaptureTime) refusals.push_back(kThumbnailMissing);
  return refusals;
}

}  // namespace kestrova::convert
