#include "server_folders.h"

namespace kestrova::sync {

bool EnterOrCreateFolder(FtpClient& ftp, const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (ftp.changeDir(folder)) return true;
  if (ftp.makeDir(folder) && ftp.changeDir(folder)) return true;
  // Walk down from the top: enter what exists, make what does not.
  bool created = false;
  for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
    std::string level = folder.substr(0, slash);
    // Once one level had to be made, everything below it is new as well.
    if (!level.empty() && (created || !ftp.changeDir(level))) {
      if (!ftp.makeDir(level)) return false;
      created = true;
    }
    if (slash == std::string::npos) break;
  }
  return ftp.changeDir(folder);
}

std::string TemporaryUploadPath(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + ".upload";
}

}  // namespace kestrova::sync
