#include "upload_worker.h"

#include "date_text.h"
#include "progress_text.h"
#include "server_folders.h"

namespace kestrova::sync {

UploadWorker::UploadWorker(SiteConnection& site, SyncView& window, RunOnWindowThread run, UploadSetup setup)
    : site_(site), window_(window), run_(std::move(run)), setup_(std::move(setup)) {}

UploadWorker::~UploadWorker() {
  stopUpload_ = true;
  site_.ftp.cancelTransfer();
  if (thread_.joinable()) thread_.join();
}

void UploadWorker::join() {
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> UploadWorker::uploadedFiles() const {
  std::lock_guard lock(uploadedMutex_);
  return uploaded_;
}

void UploadWorker::btnscanClick() {
  window_.showUploadPanel();
  if (transferring_) {
    window_.showMessage(kMsgTransferring, "", BoxKind::Ok);
    return;
  }
  if (active_) return;  // a run is already scanning; one at a time
  if (thread_.joinable()) thread_.join();  // the previous run has ended; reap its thread
  active_ = true;
  window_.setRunning(true);
  thread_ = std::thread([this] { ftpthredRun(); });
}

void UploadWorker::btnpauseuploadClick() {
  stopUpload_ = true;
  window_.showMessage(kMsgStopRequested, "", BoxKind::Ok);
}

void UploadWorker::attachProgress(SyncView& view) {
  WorkEvents events;
  events.begin = [this](std::int64_t total) { curUploadSize_ = total; };
  events.progress = [this, &view](std::int64_t count) {
    view.setStatus(ProgressText(curUploadFile_, count, curUploadSize_));
  };
  events.end = [this, &view] {
    view.setStatus(TransferDoneText(curUploadFile_));
    curUploadFile_.clear();
  };
  site_.ftp.setWorkEvents(std::move(events));
}

void UploadWorker::ftpthredRun() {
  MarshalledView view(window_, run_);
  std::lock_guard connectionLock(site_.busy);
  closingBoxSuppressed_ = false;
  renameRefused_ = false;
  batchesRefused_ = false;
  partialPath_.clear();
  enteredFolder_.clear();
  {
    std::lock_guard lock(uploadedMutex_);
    uploaded_.clear();
  }
  attachProgress(view);
  // The events point at this run's view; nothing may call them after the run.
  struct DetachProgress {
    FtpClient& ftp;
    ~DetachProgress() { ftp.setWorkEvents({}); }
  } detach{site_.ftp};

  if (site_.ftp.connected()) site_.ftp.disconnect();
  connectFtp(site_.ftp, view);
  stopUpload_ = false;
  rows_.clear();
  view.clearRows();
  if (!site_.ftp.connected()) {
    // connectFtp has told the user why; without a connection there is nothing to compare.
    view.setStatus("未能连接服务器，本次没有扫描和上传任何文件。");
    endRun(view, RunOutcome::NotConnected, false);
    return;
  }

  try {
    ChangeScanner::Options options;
    options.dataFolder = setup_.dataFolder;
    options.siteRoot = [&view] { return TrimBlanks(view.connectionFields().serverPath); };
    options.onRow = [this, &view](const ChangeRow& row) {
      rows_.push_back(row);
      view.appendRow(row);
    };
    options.today = NowWallTime();
    ChangeScanner scanner(site_.ftp, options);
    scanner.scanDataFolder(spit(setup_.extensionList));
  } catch (const std::exception& error) {
    // The scan cannot go on without the server; nothing is uploaded from a partial comparison.
    transferring_ = false;
    view.setStatus(std::string("扫描中断：") + error.what());
    view.showMessage(std::string("扫描网站文件时发生错误，本次上传已停止：\n") + error.what(), "", BoxKind::Ok);
    endRun(view, RunOutcome::ScanFailed, false);
    return;
  }
  WriteScanTime(setup_.executableFolder, NowWallTime());

  outcome_ = RunOutcome::Completed;
  uploadAll(view);
  if (closingBoxSuppressed_) {
    // The delete after a failed store failed too: the run ends at once.
    active_ = false;
    transferring_ = false;
    stopUpload_ = false;
    return;
  }
  endRun(view, outcome_, true);
}

void UploadWorker::endRun(SyncView& view, RunOutcome outcome, bool showClosingBox) {
  outcome_ = outcome;
  transferring_ = false;
  stopUpload_ = false;
  view.setRunning(false);
  if (showClosingBox) view.showMessage(kMsgRunFinished, kCaptionRunFinished, BoxKind::OkWithoutOwner);
  active_ = false;
}

void UploadWorker::uploadAll(SyncView& view) {
  if (!site_.ftp.connected()) return;
  transferring_ = true;
  bool goOn = true;
  while (!rows_.empty() && goOn) {
    if (batchable()) {
      goOn = uploadBatch(view);
      continue;
    }
    goOn = upload(view, rows_.front());
    finishFirstRow(view);
  }
}

void UploadWorker::finishFirstRow(SyncView& view) {
  rows_.erase(rows_.begin());
  view.removeFirstRow();
}

bool UploadWorker::batchable() const {
  // The first file of a folder goes alone, after the folder has been entered
  // (or made); the rest of the folder's files go together.
  return !stopUpload_ && !renameRefused_ && !batchesRefused_ && site_.ftp.protocol() == SiteProtocol::Sftp &&
         rows_.size() >= 2 && !enteredFolder_.empty() && rows_[0].serverDirectory == enteredFolder_ &&
         rows_[1].serverDirectory == enteredFolder_;
}

void UploadWorker::startRow(SyncView& view, ChangeRow& row) {
  transferring_ = true;
  row.state = kStateUploading;
  view.setFirstRowState(row.state);
}

bool UploadWorker::uploadBatch(SyncView& view) {
  std::vector<BatchUpload> files;
  for (const ChangeRow& row : rows_) {
    if (row.serverDirectory != enteredFolder_) break;
    files.push_back({row.localPath, TemporaryUploadPath(row.serverPath), row.serverPath});
  }
  bool goOn = true;
  bool rowOpen = false;  // a file has started and not yet been reported
  BatchHooks hooks;
  hooks.started = [&](size_t) {
    rowOpen = true;
    ChangeRow& row = rows_.front();
    startRow(view, row);
    curUploadFile_ = row.name;
    partialPath_ = TemporaryUploadPath(row.serverPath);
  };
  hooks.finished = [&](size_t, const BatchOutcome& outcome) {
    rowOpen = false;
    ChangeRow& row = rows_.front();
    switch (outcome.result) {
      case BatchOutcome::Result::Stored:
        partialPath_.clear();
        if (outcome.removedTarget) view.setStatus(RemovedBeforeRenameText(row.name));
        rowStored(row);
        break;
      case BatchOutcome::Result::Failed:
        goOn = rowFailed(view, row, FtpError(outcome.kind, outcome.error));
        break;
      case BatchOutcome::Result::RenameRefused:
        goOn = attempt(view, row, [&] {
          refuseRenames(view, row);
          storeDirect(row);
        });
        break;
    }
    finishFirstRow(view);
    return goOn && !stopUpload_ && outcome.result == BatchOutcome::Result::Stored;
  };
  try {
    if (!site_.ftp.storeBatch(files, hooks)) batchesRefused_ = true;
  } catch (const std::exception& error) {
    if (!goOn) return false;  // the run has ended on a failed file already
    if (!rowOpen) {
      // Lost between two files: a stop asked for is honoured as it would
      // have been; otherwise the next file is the one that failed.
      if (stopUpload_) return true;
      startRow(view, rows_.front());
    }
    goOn = rowFailed(view, rows_.front(), error);
    finishFirstRow(view);
  }
  return goOn;
}

void UploadWorker::storeRow(SyncView& view, const ChangeRow& row) {
  FtpClient& ftp = site_.ftp;
  if (!renameRefused_) {
    partialPath_ = TemporaryUploadPath(row.serverPath);
    if (ftp.storeAndRename(row.localPath, partialPath_, row.serverPath)) {
      partialPath_.clear();
      if (ftp.renameRemovedTarget()) view.setStatus(RemovedBeforeRenameText(row.name));
      return;
    }
    refuseRenames(view, row);
  }
  storeDirect(row);
}

void UploadWorker::refuseRenames(SyncView& view, const ChangeRow& row) {
  // This server will not rename over a file: store straight onto the
  // published name from now on, as plain stores do.
  renameRefused_ = true;
  try {
    site_.ftp.remove(partialPath_);
  } catch (const FtpError& error) {
    if (error.kind() == FtpError::Kind::Connection) throw;
  }
  view.setStatus(RenameRefusedText(row.name));
  curUploadFile_ = row.name;
}

void UploadWorker::storeDirect(const ChangeRow& row) {
  partialPath_ = row.serverPath;
  site_.ftp.store(row.localPath, row.serverPath);
  partialPath_.clear();
}

bool UploadWorker::upload(SyncView& view, ChangeRow& row) {
  if (stopUpload_) {
    stopUpload_ = false;
    view.setRunning(false);
    transferring_ = false;
    outcome_ = RunOutcome::Stopped;
    return false;
  }
  partialPath_.clear();
  return attempt(view, row, [&] {
    startRow(view, row);
    // Stores name whole paths, so a folder entered for the row before needs
    // no second CWD; only a new folder is entered (and made when missing).
    if (row.serverDirectory != enteredFolder_) {
      if (!EnterOrCreateFolder(site_.ftp, row.serverDirectory))
        throw FtpError(FtpError::Kind::Refused, "无法进入或创建服务器目录 " + row.serverDirectory);
      enteredFolder_ = row.serverDirectory;
    }
    curUploadFile_ = row.name;
    storeRow(view, row);
  });
}

bool UploadWorker::attempt(SyncView& view, ChangeRow& row, const std::function<void()>& steps) {
  try {
    steps();
  } catch (const std::exception& error) {
    return rowFailed(view, row, error);
  }
  rowStored(row);
  return true;
}

void UploadWorker::rowStored(const ChangeRow& row) {
  transferring_ = false;
  std::lock_guard lock(uploadedMutex_);
  uploaded_.push_back(row.localPath);
}

bool UploadWorker::rowFailed(SyncView& view, ChangeRow& row, const std::exception& error) {
  row.state = kStateFailed;
  view.setFirstRowState(row.state);
  // The detail goes to the status line; the box keeps its fixed wording.
  view.setStatus("上传 " + row.name + " 失败：" + error.what());
  view.showMessage(kMsgUploadError, "", BoxKind::YesOnly);
  transferring_ = false;
  outcome_ = RunOutcome::FileFailed;
  view.setRunning(false);
  curUploadFile_.clear();
  // Only a store that reached the server can have left a partial file
  // there, and only under the name it was stored as: normally the
  // temporary one, so the published copy keeps serving. When the store
  // failed before (folder refused, local file unreadable), the server's
  // copies are untouched and may be the only ones left: keep them.
  if (partialPath_.empty() || !site_.ftp.storeReachedServer()) return false;
  bool deleted = false;
  try {
    deleted = site_.ftp.remove(partialPath_);
  } catch (const std::exception&) {
    deleted = false;
  }
  if (!deleted) closingBoxSuppressed_ = true;
  return false;
}

}  // namespace kestrova::sync
