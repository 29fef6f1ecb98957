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

std::string OutputFolderRefusal(const std::filesystem::path& folder) {
  return "数据文件夹无法写入，请检查它的权限：" + folder.string();
}

std::vector<std::string> OkRefusals(bool outputFolderWritable, const std::filesystem::path& outputFolder,
                                    const std::string& edtStartPic) {
  std::vector<std::string> refusals;
  if (!outputFolderWritable) refusals.push_back(OutputFolderRefusal(outputFolder));
  if (edtStartPic == kNoCaptureTime) refusals.push_back(kThumbnailMissing);
  return refusals;
}

}  // namespace kestrova::convert
