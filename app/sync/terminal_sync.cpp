#include "terminal_sync.h"

#include <filesystem>

#include "change_scan.h"
#include "date_text.h"
#include "extension_filter.h"
#include "progress_text.h"
#include "site_connection.h"
#include "upload_panel_model.h"
#include "upload_worker.h"

namespace kestrova::sync {
namespace {

// Fills the panel from the options and says on err what the terminal
// cannot ask: plain FTP's risk, and how to trust a server that failed its check.
void PrepareTerminalPanel(UploadPanelModel& panel, const SiteOptions& options, std::ostream& err) {
  panel.fields = {options.host, options.port, options.user, options.password, options.root};
  panel.fields.protocol = options.protocol;
  panel.fields.keyFile = options.keyFile;
  panel.fields.caFile = options.caFile;
  panel.fields.acceptedFingerprints = options.acceptedFingerprints;
  if (options.protocol == SiteProtocol::Ftp) err << kWarnPlainFtp << "\n";
  panel.onAskTrust = [&err](const std::string&, const std::string& fingerprint) {
    err << "如确认这是您的服务器，请加上 --accept-fingerprint " << fingerprint << " 再运行。\n";
    return TrustAnswer::Refuse;
  };
}

// Without a trailing "/": "data/" and "data" are one folder, whose parent
// holds the scan time record.
std::string DataFolderOf(const SiteOptions& options) {
  std::filesystem::path folder = std::filesystem::absolute(options.dataFolder).lexically_normal();
  if (folder.filename().empty() && folder.has_relative_path()) folder = folder.parent_path();
  return folder.string();
}

// A progress bar of 30 cells for the file in transfer.
std::string ProgressBar(const std::string& name, std::int64_t count, std::int64_t total) {
  int filled = total > 0 ? static_cast<int>(count * 30 / total) : 0;
  return "\r[" + std::string(filled, '#') + std::string(30 - filled, ' ') + "] " +
         (total > 0 ? PercentText(count * 100 / total, 100) : std::string("0")) + "% " + name + "\x1b[K";
}

}  // namespace

int RunScan(const SiteOptions& options, std::ostream& out, std::ostream& err) {
  if (!std::filesystem::is_directory(options.dataFolder)) {
    err << "数据目录不存在：" << options.dataFolder << "\n";
    return 1;
  }
  UploadPanelModel panel;
  PrepareTerminalPanel(panel, options, err);
  panel.onMessage = [&err](const ShownMessage& m) { err << m.text << "\n"; };
  SiteConnection site;
  std::lock_guard lock(site.busy);
  connectFtp(site.ftp, panel);
  if (!site.ftp.connected()) {
    if (!panel.status.empty()) err << panel.status << "\n";
    return 1;
  }

  out << "文件名\t本地修改时间\t本机路径\t服务器路径\t服务器修改时间\t状态\n";
  ChangeScanner::Options scan;
  scan.dataFolder = DataFolderOf(options);
  scan.siteRoot = [&panel] { return TrimBlanks(panel.fields.serverPath); };
  scan.onRow = [&out](const ChangeRow& row) {
    ListRow texts = RowTexts(row);
    out << texts.caption << "\t" << texts.cells[0] << "\t" << texts.cells[1] << "\t" << texts.cells[3] << "\t"
        << texts.cells[4] << "\t" << texts.cells[5] << "\n";
  };
  scan.today = NowWallTime();
  try {
    ChangeScanner scanner(site.ftp, scan);
    scanner.scanDataFolder(spit(kExtensionList));
  } catch (const std::exception& error) {
    err << "扫描网站文件时发生错误：" << error.what() << "\n";
    return 1;
  }
  return 0;
}

int RunUpload(const SiteOptions& options, bool progressBar, std::ostream& out, std::ostream& err) {
  if (!std::filesystem::is_directory(options.dataFolder)) {
    err << "数据目录不存在：" << options.dataFolder << "\n";
    return 1;
  }
  UploadPanelModel panel;
  PrepareTerminalPanel(panel, options, err);
  bool barShown = false;
  auto endBar = [&] {
    if (barShown) err << "\n";
    barShown = false;
  };
  std::string lastStatus;
  std::string uploadingName;
  std::vector<std::string> problems;
  panel.onMessage = [&](const ShownMessage& m) {
    endBar();
    if (m.text != kMsgRunFinished) problems.push_back(m.text);
    err << m.text << "\n";
  };
  panel.onChanged = [&] {
    if (panel.status == lastStatus) return;
    lastStatus = panel.status;
    const std::string uploading = "正在上传：";
    if (panel.status.rfind(uploading, 0) == 0) {
      if (!panel.rows.empty()) uploadingName = panel.rows.front().caption;
      if (progressBar) {
        // "... 当前进度：count/total ..." gives both numbers.
        size_t at = panel.status.find("当前进度：");
        long long count = 0, total = 0;
        if (at != std::string::npos)
          std::sscanf(panel.status.c_str() + at + std::string("当前进度：").size(), "%lld/%lld", &count, &total);
        err << ProgressBar(uploadingName, count, total) << std::flush;
        barShown = true;
      }
      return;
    }
    if (panel.status.rfind("文件：", 0) == 0) {
      // The end of a listing reads "文件： 上传完成" with no name: not worth a line.
      if (panel.status == TransferDoneText("")) return;
      endBar();
      out << panel.status << "\n";
      uploadingName.clear();
      return;
    }
    if (panel.status.rfind("正在读取", 0) == 0) return;
    endBar();
    err << panel.status << "\n";
  };

  SiteConnection site;
  std::string dataFolder = DataFolderOf(options);
  UploadSetup setup{dataFolder, std::filesystem::path(dataFolder).parent_path().string()};
  // A terminal has no window thread to hand the view's updates to: nothing
  // but the run touches the panel and the streams until it has ended, so the
  // run's thread prints them itself, sparing two thread switches per update.
  UploadWorker worker(site, panel, [](const std::function<void()>& work) { work(); }, setup);
  worker.btnscanClick();
  worker.join();
  endBar();

  if (worker.lastOutcome() == RunOutcome::Completed && panel.rows.empty()) {
    out << "已上传 " << worker.uploadedFiles().size() << " 个文件\n";
    return 0;
  }
  err << "上传未完成：";
  if (!panel.status.empty()) err << panel.status;
  if (!panel.rows.empty()) err << "（还有 " << panel.rows.size() << " 个文件未上传）";
  err << "\n";
  return 1;
}

}  // namespace kestrova::sync
