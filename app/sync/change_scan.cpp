#include "change_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "extension_filter.h"

namespace kestrova::sync {

namespace fs = std::filesystem;

std::string getserverpath(const std::string& localPath, const std::string& dataFolder, const std::string& siteRoot) {
  if (localPath.size() < dataFolder.size()) return siteRoot;
  return siteRoot + localPath.substr(dataFolder.size());
}

ChangeScanner::ChangeScanner(FtpClient& ftp, Options options) : ftp_(ftp), options_(std::move(options)) {
  dataFolder_ = options_.dataFolder;
  while (dataFolder_.size() > 1 && dataFolder_.back() == '/') dataFolder_.pop_back();
}

const std::vector<ListingEntry>& ChangeScanner::listingOf(const std::string& dir) {
  auto cached = listings_.find(dir);
  if (cached != listings_.end()) return cached->second;
  if (!ftp_.changeDir(dir)) {
    if (!ftp_.makeDir(dir) || !ftp_.changeDir(dir))
      throw FtpError(FtpError::Kind::Refused, "无法进入服务器目录 " + dir);
  }
  std::string text = ftp_.list(dir);
  return listings_[dir] = ParseListing(text, options_.today);
}

WallTime ChangeScanner::getRemoteFileModifyDate(const std::string& dir, const std::string& name) {
  bool askSize = !serverAnswersSize_ || listings_.find(dir) == listings_.end();
  if (askSize) {
    if (!ftp_.size(dir + "/" + name)) return kNoServerCopy;
    serverAnswersSize_ = true;
  }
  for (const auto& entry : listingOf(dir)) {
    if (entry.name == name) {
      // A folder of that name has no size, so the server holds no copy of the file.
      if (entry.isDirectory && !askSize) return kNoServerCopy;
      return CutToMinute(entry.modified);
    }
  }
  return kNoServerCopy;
}

void ChangeScanner::findall(const std::string& folder, const std::vector<std::string>& filter) {
  std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    // Folders reached through links are not followed: a link back up would never end.
    bool isFolder = it->is_directory(error) && !it->is_symlink(error);
    entries.emplace_back(name, isFolder);
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& [name, isFolder] : entries) {
    if (isFolder)
      findall(folder + "/" + name, filter);
    else
      considerFile(folder, name, filter);
  }
}

void ChangeScanner::considerFile(const std::string& folder, const std::string& name,
                                 const std::vector<std::string>& filter) {
  std::string extension = ExtensionOf(name);
  bool matched = std::any_of(filter.begin(), filter.end(),
                             [&](const std::string& entry) { return ExtensionMatches(extension, entry); });
  if (!matched) return;
  std::string localPath = folder + "/" + name;
  struct stat info {};
  if (::stat(localPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;

  std::string serverDirectory = getserverpath(folder, dataFolder_, options_.siteRoot());
  WallTime serverTime = getRemoteFileModifyDate(serverDirectory, name);
  WallTime localTime = CutToMinute(LocalWallTime(info.st_mtime));
  if (!(serverTime < localTime)) return;

  ChangeRow row;
  row.name = name;
  row.localTime = localTime;
  row.localPath = localPath;
  row.serverPath = getserverpath(localPath, dataFolder_, options_.siteRoot());
  row.serverTime = serverTime;
  row.serverDirectory = serverDirectory;
  if (options_.onRow) options_.onRow(row);
}

}  // namespace kestrova::sync
