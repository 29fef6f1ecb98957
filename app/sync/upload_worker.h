// One press of "扫描并上传": on a worker thread, reconnect, scan the data
// folder against the server and upload every listed file from the top,
// showing each step on the window through the view. Each file is stored
// under a temporary name and renamed over its published name, so visitors
// never fetch half a file and a failed store leaves the previous copy in
// place. A stop request is honoured before the next file; a failed file ends
// the run after deleting what the failed store left. Over SFTP the files of a
// folder after its first go as one batch, many requests under way at once;
// they are reported one by one in order all the same.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "change_scan.h"
#include "extension_filter.h"
#include "site_connection.h"
#include "sync_view.h"

namespace kestrova::sync {

inline constexpr const char* kMsgStopRequested = "当前文件传输完成后，将自动停止上传操作，请稍候！！";
inline constexpr const char* kMsgUploadError = "上传文件发生错误！";
inline constexpr const char* kMsgRunFinished = "文件上传完毕";
inline constexpr const char* kCaptionRunFinished = "扫描并上传";

struct UploadSetup {
  std::string dataFolder;        // dataPath
  std::string executableFolder;  // where "7in10.ini" lives
  std::string extensionList = kExtensionList;
};

// How the last run ended.
enum class RunOutcome { None, Completed, Stopped, FileFailed, NotConnected, ScanFailed };

class UploadWorker {
 public:
  // window: the view on the window's thread; run: hands work to that thread.
  UploadWorker(SiteConnection& site, SyncView& window, RunOnWindowThread run, UploadSetup setup);
  // Asks a running run to stop (the transfer in progress is cut off) and
  // waits for it. The worker hands its last steps to the window's thread, so
  // a host that destroys it there must keep running handed-over work (or
  // wait for active() to turn false first).
  ~UploadWorker();
  UploadWorker(const UploadWorker&) = delete;
  UploadWorker& operator=(const UploadWorker&) = delete;

  // btnscan / btnUpload2, on the window's thread.
  void btnscanClick();
  // btnpauseupload, on the window's thread.
  void btnpauseuploadClick();

  bool active() const { return active_; }
  bool transferring() const { return transferring_; }
  RunOutcome lastOutcome() const { return outcome_; }
  // Files stored by the last run, in order (local paths).
  std::vector<std::string> uploadedFiles() const;
  // Waits for the worker thread of the last run to end (the window's thread
  // must keep running handed-over work meanwhile, or this never returns).
  void join();

 private:
  void ftpthredRun();
  void uploadAll(SyncView& view);
  // Uploads the first row; false when the run ends here.
  bool upload(SyncView& view, ChangeRow& row);
  // Whether the rows at the front can go as one batch: SFTP, in the folder
  // entered last.
  bool batchable() const;
  // Uploads the front rows of the entered folder with many requests under
  // way at once, reporting each in order as upload() does; false when the
  // run ends here.
  bool uploadBatch(SyncView& view);
  // Marks the first row as in transfer.
  void startRow(SyncView& view, ChangeRow& row);
  // Runs the store steps of the first row, then records it as stored or
  // reports its failure; false when the run ends here.
  bool attempt(SyncView& view, ChangeRow& row, const std::function<void()>& steps);
  void rowStored(const ChangeRow& row);
  // Reports the failure of the first row and deletes what its store left;
  // always false (a failed file ends the run).
  bool rowFailed(SyncView& view, ChangeRow& row, const std::exception& error);
  void finishFirstRow(SyncView& view);
  // Stores the row's file under a temporary name and renames it over the
  // published one; on a server that refuses the rename, straight onto the
  // published name. Throws FtpError when the store fails.
  void storeRow(SyncView& view, const ChangeRow& row);
  // The server refused to rename the row's temporary copy: delete it, say
  // so, and store straight onto published names from now on.
  void refuseRenames(SyncView& view, const ChangeRow& row);
  void storeDirect(const ChangeRow& row);
  void endRun(SyncView& view, RunOutcome outcome, bool showClosingBox);
  void attachProgress(SyncView& view);

  SiteConnection& site_;
  SyncView& window_;
  RunOnWindowThread run_;
  UploadSetup setup_;
  std::thread thread_;

  std::atomic<bool> active_{false};
  std::atomic<bool> transferring_{false};
  std::atomic<bool> stopUpload_{false};
  std::atomic<RunOutcome> outcome_{RunOutcome::None};
  // Worker thread only.
  std::string curUploadFile_;
  std::int64_t curUploadSize_ = 0;
  std::vector<ChangeRow> rows_;
  bool closingBoxSuppressed_ = false;
  // The server refused a rename in this run; the rest go straight on.
  bool renameRefused_ = false;
  // The connection cannot store batches; the rest go one by one.
  bool batchesRefused_ = false;
  // Where the store in progress writes, until it has finished: what a
  // failure deletes.
  std::string partialPath_;
  // The server folder this run last entered.
  std::string enteredFolder_;
  mutable std::mutex uploadedMutex_;
  std::vector<std::string> uploaded_;
};

}  // namespace kestrova::sync
