// A local data folder, the upload panel model and a site connection aimed at
// a real site server (FTP, FTPS or SFTP), with the test's thread as the
// window's thread.
#pragma once

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "change_scan.h"
#include "extension_filter.h"
#include "ftp_fixture.h"
#include "process.h"
#include "site_connection.h"
#include "upload_panel_model.h"
#include "upload_worker.h"
#include "media/hand_over.h"

namespace kestrova::sync {

struct SyncHarness {
  explicit SyncHarness(test::FtpServerProcess& ftpServer, const std::string& siteRoot = "/site") : server(ftpServer) {
    data = local.path() / "data";
    std::filesystem::create_directories(data);
    panel.fields = {"127.0.0.1", std::to_string(server.port()), server.user(), server.password(),
                    server.sitePath(siteRoot)};
    panel.fields.protocol = *ParseProtocolName(server.protocol());
    if (panel.fields.protocol == SiteProtocol::Sftp) {
      panel.fields.keyFile = server.keyFile().string();
      panel.fields.acceptedFingerprints = {server.hostKeyFingerprint()};
    } else if (UsesTls(panel.fields.protocol)) {
      panel.fields.caFile = server.caFile().string();
    }
  }

  // A local file of the data folder with its modification time.
  std::filesystem::path localFile(const std::string& relative, const std::string& time,
                                  const std::string& content = "local") {
    auto path = data / relative;
    std::filesystem::create_directories(path.parent_path());
    test::WriteFile(path, content);
    test::SetModificationTime(path, time);
    return path;
  }
  // A file on the server below its root folder.
  std::filesystem::path serverFile(const std::string& relative, const std::string& time,
                                   const std::string& content = "server") {
    auto path = server.root() / relative;
    server.placeFiles([&] {
      std::filesystem::create_directories(path.parent_path());
      test::WriteFile(path, content);
      test::SetModificationTime(path, time);
    });
    return path;
  }

  void connect() {
    std::lock_guard lock(site.busy);
    connectFtp(site.ftp, panel);
  }

  std::vector<ChangeRow> scan() {
    std::vector<ChangeRow> rows;
    ChangeScanner::Options options;
    options.dataFolder = data.string() + "/";
    options.siteRoot = [this] { return TrimBlanks(panel.fields.serverPath); };
    options.onRow = [&rows](const ChangeRow& row) { rows.push_back(row); };
    options.today = NowWallTimeForTests();
    std::lock_guard lock(site.busy);
    ChangeScanner scanner(site.ftp, options);
    scanner.scanDataFolder(spit(kExtensionList));
    return rows;
  }

  UploadWorker& worker() {
    if (!worker_)
      worker_ = std::make_unique<UploadWorker>(site, panel, [this](const std::function<void()>& work) { handOver.Call(work); },
                                               UploadSetup{data.string() + "/", local.path().string()});
    return *worker_;
  }
  // Presses "扫描并上传" and runs the window's side until the run is over.
  void runUpload() {
    worker().btnscanClick();
    while (worker().active()) handOver.Pump(std::chrono::milliseconds(50));
    handOver.Pump();
    worker().join();
  }

  int commandsStartingWith(const std::string& verb) const {
    const auto& sent = site.ftp.commandsSent();
    return static_cast<int>(
        std::count_if(sent.begin(), sent.end(), [&](const std::string& c) { return c.rfind(verb, 0) == 0; }));
  }
  bool shown(const std::string& text) const {
    return std::any_of(panel.messages.begin(), panel.messages.end(),
                       [&](const ShownMessage& m) { return m.text == text; });
  }

  static WallTime NowWallTimeForTests();

  test::FtpServerProcess& server;
  test::TempDir local;
  std::filesystem::path data;
  UploadPanelModel panel;
  media::HandOver handOver;
  SiteConnection site;

 private:
  std::unique_ptr<UploadWorker> worker_;
};

// Tables that run on every protocol: TEST_P on a fixture derived from this
// one, instantiated over kSiteProtocols.
inline const std::vector<std::string> kSiteProtocols = {"ftp", "ftps", "ftps-implicit", "sftp"};
class OnEveryProtocol : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "sftp" && geteuid() != 0) GTEST_SKIP() << "sshd with its own config runs as root here";
  }
  // Server options on the protocol of the row.
  static test::FtpServerProcess::Options On(test::FtpServerProcess::Options options = {}) {
    options.protocol = GetParam();
    return options;
  }
  static bool sftp() { return GetParam() == "sftp"; }
};
// Test names say the protocol ("ftps_implicit").
inline std::string ProtocolTestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

// Runs call, which waits on a server stopped where it stands (paused here,
// resumed after), and expects the wait to end with a connection error in
// the right words: cancel presses the client's cancel again and again (a
// cancel that came before the call began would be forgotten by it);
// otherwise the idle limit is cut to 300 ms.
void ExpectStoppedServerWaitEnds(SyncHarness& h, bool cancel, const std::function<void()>& call);

// "YYYY-MM-DD HH:MM:SS" of now plus an offset in seconds, in local time.
std::string LocalTimeText(long offsetSeconds);
// An offset near offsetSeconds that lands on a whole minute.
long WholeMinuteOffset(long offsetSeconds);

}  // namespace kestrova::sync
