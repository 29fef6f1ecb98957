#include "change_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "extension_filter.h"
#include "pending_registrations.h"

namespace kestrova::sync {

namespace fs = std::filesystem;

std::string getserverpath(const std::string& localPath, const std::string& dataFolder, const std::string& siteRoot) {
  if (localPath.size() <= dataFolder.size()) return siteRoot;
  std::string tail = localPath.substr(dataFolder.size());
  // The tail starts with "/"; a root that ends in one ("/" itself) must not double it.
  if (!siteRoot.empty() && siteRoot.back() == '/' && tail.front() == '/') tail.erase(0, 1);
  return siteRoot + tail;
}

ChangeScanner::ChangeScanner(FtpClient& ftp, Options options) : ftp_(ftp), options_(std::move(options)) {
  dataFolder_ = options_.dataFolder;
  while (dataFolder_.size() > 1 && dataFolder_.back() == '/') dataFolder_.pop_back();
  // Videos whose registration is still pending stay off the site: uploaded
  // now, no playlist would name them.
  heldBack_.insert(dataFolder_ + "/" + catalogue::kPendingRegistrationsFile);
  for (const std::string& file : catalogue::HeldBackFiles(catalogue::ReadPendingRegistrations(dataFolder_)))
    heldBack_.insert(dataFolder_ + "/" + file);
}

const std::vector<ListingEntry>* ChangeScanner::listingOf(const std::string& dir) {
  auto cached = listings_.find(dir);
  if (cached == listings_.end()) {
    std::optional<std::vector<ListingEntry>> listing;
    // A listing the server refuses costs the connection (libcurl drops it
    // and logs in again for the next command), so a folder that its parent's
    // listing shows missing is not asked for at all.
    if (knownMissing(dir)) {
      listings_.emplace(dir, std::nullopt);
      return nullptr;
    }
    try {
      // Listed by its path rather than after a CWD: a directory the server
      // lacks must not be created by a scan, only found missing.
      listing = ftp_.listEntries(dir, options_.today);
    } catch (const FtpError& error) {
      if (error.kind() == FtpError::Kind::Connection) throw;
    }
    cached = listings_.emplace(dir, std::move(listing)).first;
  }
  return cached->second ? &*cached->second : nullptr;
}

bool ChangeScanner::knownMissing(const std::string& dir) {
  std::string root = options_.siteRoot();
  size_t slash = dir.rfind('/');
  if (dir == root || slash == std::string::npos || dir.compare(0, root.size(), root) != 0) return false;
  std::string parent = slash == 0 ? "/" : dir.substr(0, slash);
  if (parent.size() < root.size()) return false;  // above the site root, which connectFtp entered
  const std::vector<ListingEntry>* siblings = listingOf(parent);
  if (!siblings) return true;
  std::string name = dir.substr(slash + 1);
  // Any entry of that name (a folder, or a link that may lead to one) is worth listing.
  return std::none_of(siblings->begin(), siblings->end(), [&](const ListingEntry& e) { return e.name == name; });
}

const ListingEntry* ChangeScanner::serverCopyOf(const std::string& dir, const std::string& name) {
  const std::vector<ListingEntry>* listing = listingOf(dir);
  // No directory, no such name in it, or a folder of that name: in each case
  // the server refuses SIZE, which means "no copy".
  if (!listing) return nullptr;
  auto entry = std::find_if(listing->begin(), listing->end(),
                            [&](const ListingEntry& e) { return e.name == name; });
  if (entry == listing->end() || entry->isDirectory) return nullptr;
  if (!serverAnswersSize_) {
    // A server that refuses SIZE altogether has every file counted as missing.
    if (!ftp_.size(dir + "/" + name)) return nullptr;
    serverAnswersSize_ = true;
  }
  return &*entry;
}

WallTime ChangeScanner::getRemoteFileModifyDate(const std::string& dir, const std::string& name) {
  const ListingEntry* copy = serverCopyOf(dir, name);
  return copy ? CutToMinute(copy->modified) : kNoServerCopy;
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
  if (heldBack_.count(localPath)) return;
  struct stat info {};
  if (::stat(localPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;

  std::string serverDirectory = getserverpath(folder, dataFolder_, options_.siteRoot());
  const ListingEntry* copy = serverCopyOf(serverDirectory, name);
  WallTime serverTime = copy ? CutToMinute(copy->modified) : kNoServerCopy;
  WallTime localTime = CutToMinute(LocalWallTime(info.st_mtime));
  // Listings show times to the minute only, so a file rewritten within the
  // minute of its upload (config.xml after a list refresh) looks current by
  // its time; a size that differs still gives it away.
  bool sizeDiffers = copy && copy->size && *copy->size != static_cast<std::int64_t>(info.st_size);
  if (!(serverTime < localTime) && !sizeDiffers) return;

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
