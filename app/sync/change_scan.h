// The change scan: walks the local data folder and lists every file of the
// filter whose server copy is older (by the minute), of another size, or
// missing. Files of videos whose registration is pending are left out.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ftp_client.h"
#include "ftp_listing.h"
#include "wall_time.h"

namespace kestrova::sync {

inline constexpr const char* kStateWaiting = "等待ing";
inline constexpr const char* kStateUploading = "上传ing";
inline constexpr const char* kStateFailed = "错误";

// One row of the change list.
struct ChangeRow {
  std::string name;             // caption: the file's name
  WallTime localTime{};         // cut to the minute
  std::string localPath;
  std::string serverPath;
  WallTime serverTime{};        // cut to the minute; kNoServerCopy when missing
  std::string state = kStateWaiting;
  std::string serverDirectory;  // the hidden cell: where the file goes
};

// The server path of a local path: the site root followed by the part of the
// local path below the data folder ("/video/a.mp4"), joined with one "/"
// also when the root ends in one (the root "/" gives "/video/a.mp4").
// dataFolder is given without a trailing separator.
std::string getserverpath(const std::string& localPath, const std::string& dataFolder, const std::string& siteRoot);

class ChangeScanner {
 public:
  struct Options {
    std::string dataFolder;                  // local data folder; a trailing "/" is ignored
    std::function<std::string()> siteRoot;   // the trimmed site root, read afresh for every file
    std::function<void(const ChangeRow&)> onRow;
    WallTime today{};                        // places listing dates that carry no year
  };
  ChangeScanner(FtpClient& ftp, Options options);

  // The server's time of dir + "/" + name cut to the minute, or kNoServerCopy
  // when the server has no such file (the answer a refused SIZE gives).
  // Each server directory is listed at most once per scanner and answers for
  // all its files, so a scan costs one listing per directory instead of a
  // SIZE, CWD and LIST per file; SIZE is still asked until the server has
  // shown that it answers it. Throws FtpError when the connection fails.
  WallTime getRemoteFileModifyDate(const std::string& dir, const std::string& name);

  // Scans folder and everything below it, depth first in name order, and
  // hands every changed file to onRow.
  void findall(const std::string& folder, const std::vector<std::string>& filter);
  // findall over the whole data folder.
  void scanDataFolder(const std::vector<std::string>& filter) { findall(dataFolder_, filter); }

  const std::string& dataFolder() const { return dataFolder_; }

 private:
  // The listing entry of the server's copy of dir + "/" + name, or nothing
  // when the server has none.
  const ListingEntry* serverCopyOf(const std::string& dir, const std::string& name);
  // Nothing when the server has no such directory.
  const std::vector<ListingEntry>* listingOf(const std::string& dir);
  // True when the listing of dir's parent (below the site root) shows no
  // entry of dir's name.
  bool knownMissing(const std::string& dir);
  void considerFile(const std::string& folder, const std::string& name, const std::vector<std::string>& filter);

  FtpClient& ftp_;
  Options options_;
  std::string dataFolder_;
  // Local paths never listed: files of videos not registered yet, and the
  // list that names them.
  std::set<std::string> heldBack_;
  std::map<std::string, std::optional<std::vector<ListingEntry>>> listings_;
  // Set once the server has answered a SIZE with 213 in this scan: from then
  // on the listing answers for a file exactly as SIZE plus LIST would.
  bool serverAnswersSize_ = false;
};

}  // namespace kestrova::sync
