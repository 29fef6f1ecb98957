// The upload worker end to end: a real FTP server on loopback (stop and a
// refused store on every protocol), the upload panel model as the window,
// the test's thread as the window's thread.
#include <gtest/gtest.h>

#include <QSettings>

#include "progress_text.h"
#include "sync_harness.h"

namespace kestrova::sync {
namespace {

using test::FtpServerProcess;
using test::ReadFile;

bool IdleButtons(const ButtonStates& b) { return b.btnscan && b.btnUpload2 && b.btntestConn && !b.btnpauseupload; }

TEST(UploadRun, NothingChangedStillEndsWithTheClosingBox) {
  FtpServerProcess server;
  SyncHarness h(server);
  h.runUpload();
  EXPECT_TRUE(h.panel.rows.empty());
  EXPECT_EQ(h.commandsStartingWith("STOR"), 0);
  ASSERT_FALSE(h.panel.messages.empty());
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
  EXPECT_EQ(h.panel.messages.back().caption, kCaptionRunFinished);
  EXPECT_EQ(h.panel.messages.back().kind, BoxKind::OkWithoutOwner);
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::Completed);
}

TEST(UploadRun, ThreeFilesAreStoredInOrderWithProgressAndTheScanRecord) {
  FtpServerProcess server;
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  h.localFile("video/a.mp4", now, std::string(300000, 'a'));
  h.localFile("video/b.mp4", now, "bbb");
  h.localFile("zoom/c.jpg", now, "ccc");
  h.serverFile("site/video/b.mp4", LocalTimeText(-7200), "old");

  std::vector<std::string> statesWhileFirst;
  bool sawRunningButtons = false;
  h.panel.onChanged = [&] {
    if (!h.panel.rows.empty()) statesWhileFirst.push_back(h.panel.rows.front().caption + ":" + h.panel.rows.front().cells[5]);
    if (!h.panel.buttons.btnscan && !h.panel.buttons.btntestConn && h.panel.buttons.btnpauseupload)
      sawRunningButtons = true;
  };
  h.runUpload();

  EXPECT_TRUE(sawRunningButtons);
  EXPECT_EQ(ReadFile(server.root() / "site/video/a.mp4"), std::string(300000, 'a'));
  EXPECT_EQ(ReadFile(server.root() / "site/video/b.mp4"), "bbb");
  EXPECT_EQ(ReadFile(server.root() / "site/zoom/c.jpg"), "ccc");
  EXPECT_TRUE(h.panel.rows.empty());
  for (const char* name : {"a.mp4", "b.mp4", "c.jpg"})
    EXPECT_NE(std::find(statesWhileFirst.begin(), statesWhileFirst.end(), std::string(name) + ":上传ing"),
              statesWhileFirst.end())
        << name;

  // The status line ends with the last file's completion, then the closing box.
  EXPECT_EQ(h.panel.status, TransferDoneText("c.jpg"));
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
  auto progress = std::find_if(h.panel.statusHistory.begin(), h.panel.statusHistory.end(),
                               [](const std::string& s) { return s.rfind("正在上传：a.mp4 当前进度：", 0) == 0; });
  ASSERT_NE(progress, h.panel.statusHistory.end());
  EXPECT_NE(progress->find("/300000 当前文件上传百分比："), std::string::npos) << *progress;

  QSettings record(QString::fromStdString((h.local.path() / "7in10.ini").string()), QSettings::IniFormat);
  EXPECT_FALSE(record.value("sys/createtime").toString().isEmpty());

  // A second run finds nothing left to do.
  h.panel.messages.clear();
  int stores = h.commandsStartingWith("STOR");
  h.runUpload();
  EXPECT_EQ(h.commandsStartingWith("STOR"), stores);
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
}

using UploadRunOnEveryProtocol = OnEveryProtocol;
INSTANTIATE_TEST_SUITE_P(Site, UploadRunOnEveryProtocol, ::testing::ValuesIn(kSiteProtocols), ProtocolTestName);

TEST_P(UploadRunOnEveryProtocol, StopDuringTheFirstFileLetsItFinishAndKeepsTheRest) {
  FtpServerProcess server(On());
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  // Larger than one SFTP write and of no round size, its bytes never
  // repeating in step with a write: a piece written at the wrong offset shows.
  std::string first(600001, '\0');
  for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<char>(i % 251);
  h.localFile("video/1.mp4", now, first);
  h.localFile("video/2.mp4", now, "2");
  h.localFile("video/3.mp4", now, "3");
  // A stop pressed while idle is forgotten by the next run.
  h.worker().btnpauseuploadClick();
  EXPECT_EQ(h.panel.messages.back().text, kMsgStopRequested);

  bool pressed = false;
  h.panel.onChanged = [&] {
    if (!pressed && h.panel.status.rfind("正在上传：1.mp4", 0) == 0) {
      pressed = true;
      h.worker().btnpauseuploadClick();
      h.worker().btnscanClick();  // a second start while a file is in transfer
    }
  };
  h.runUpload();

  ASSERT_TRUE(pressed);
  EXPECT_TRUE(h.shown(kMsgTransferring));
  EXPECT_TRUE(ReadFile(server.root() / "site/video/1.mp4") == first) << "the first file arrives whole";
  EXPECT_FALSE(std::filesystem::exists(server.root() / "site/video/2.mp4"));
  EXPECT_FALSE(std::filesystem::exists(server.root() / "site/video/3.mp4"));
  ASSERT_EQ(h.panel.rows.size(), 1u);
  EXPECT_EQ(h.panel.rows[0].caption, "3.mp4");
  EXPECT_EQ(h.panel.rows[0].cells[5], kStateWaiting);
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::Stopped);
}

TEST_P(UploadRunOnEveryProtocol, AFailedStoreKeepsTheServerCopyAndEndsTheRun) {
  // The server refuses stores into "site/b" (FTP: but lets us delete there).
  FtpServerProcess server(On({.storeRefusedFolders = {"site/b"}}));
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  h.localFile("a/1.mp4", now, "1");
  h.localFile("b/2.mp4", now, "2");
  h.localFile("c/3.mp4", now, "3");
  h.localFile("c/4.mp4", now, "4");
  h.serverFile("site/b/2.mp4", LocalTimeText(-7200), "old");

  std::string secondState;
  h.panel.onChanged = [&] {
    if (!h.panel.rows.empty() && h.panel.rows.front().caption == "2.mp4") secondState = h.panel.rows.front().cells[5];
  };
  h.runUpload();

  EXPECT_EQ(ReadFile(server.root() / "site/a/1.mp4"), "1");
  EXPECT_EQ(secondState, kStateFailed);
  EXPECT_EQ(ReadFile(server.root() / "site/b/2.mp4"), "old") << "a refused store leaves the published copy";
  ASSERT_EQ(h.panel.rows.size(), 2u);
  EXPECT_EQ(h.panel.rows[0].caption, "3.mp4");
  EXPECT_EQ(h.panel.rows[1].caption, "4.mp4");
  EXPECT_EQ(h.panel.rows[0].cells[5], kStateWaiting);
  auto error = std::find_if(h.panel.messages.begin(), h.panel.messages.end(),
                            [](const ShownMessage& m) { return m.text == kMsgUploadError; });
  ASSERT_NE(error, h.panel.messages.end());
  EXPECT_EQ(error->kind, BoxKind::YesOnly);
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::FileFailed);
  EXPECT_EQ(ReadFile(h.data / "b/2.mp4"), "2");
}

TEST(UploadRun, ALocalFileGoneBeforeItsStoreLeavesTheServerCopyAlone) {
  FtpServerProcess server;
  SyncHarness h(server);
  auto local = h.localFile("video/gone.mp4", LocalTimeText(-60), "new");
  h.serverFile("site/video/gone.mp4", LocalTimeText(-7200), "the only copy left");
  // Removed once the scan has listed it, before the upload opens it.
  h.panel.onChanged = [&] {
    if (!h.panel.rows.empty() && std::filesystem::exists(local)) std::filesystem::remove(local);
  };
  h.runUpload();

  EXPECT_TRUE(h.shown(kMsgUploadError));
  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::FileFailed);
  EXPECT_EQ(ReadFile(server.root() / "site/video/gone.mp4"), "the only copy left");
  EXPECT_EQ(h.commandsStartingWith("DELE"), 0);
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
}

TEST(UploadRun, AServerKilledMidTransferEndsTheRunCleanly) {
  FtpServerProcess server({.uploadBytesPerSecond = 256 * 1024});
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  const std::string big(4 * 1024 * 1024, 'x');
  h.localFile("video/big.mp4", now, big);
  h.localFile("video/small.mp4", now, "s");

  h.panel.onChanged = [&] {
    if (server.running() && h.panel.status.rfind("正在上传：big.mp4", 0) == 0) server.kill();
  };
  h.runUpload();

  EXPECT_FALSE(h.worker().active());
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
  EXPECT_TRUE(h.shown(kMsgUploadError));
  EXPECT_NE(h.panel.status.find("big.mp4"), std::string::npos) << h.panel.status;
  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::FileFailed);
  EXPECT_EQ(ReadFile(h.data / "video/big.mp4"), big) << "local files are only ever read";
  ASSERT_EQ(h.panel.rows.size(), 1u);
  EXPECT_EQ(h.panel.rows[0].caption, "small.mp4");

  // The next run cannot connect: it says so and leaves the buttons idle.
  h.panel.messages.clear();
  h.runUpload();
  EXPECT_TRUE(h.shown(kMsgCannotConnect));
  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::NotConnected);
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
}

TEST(UploadRun, AServerLostDuringTheScanEndsTheRunWithAMessage) {
  FtpServerProcess server;
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  // In three folders the server has, so the scan still has listings to ask
  // for after the first row.
  for (const char* name : {"model/c.gif", "video/a.mp4", "zoom/b.jpg"}) {
    h.localFile(name, now);
    h.serverFile(std::string("site/") + name, LocalTimeText(-7200));
  }
  h.panel.onChanged = [&] {
    if (server.running() && h.panel.rows.size() == 1) server.kill();
  };
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::ScanFailed);
  EXPECT_TRUE(IdleButtons(h.panel.buttons));
  EXPECT_FALSE(h.worker().transferring());
  ASSERT_FALSE(h.panel.messages.empty());
  EXPECT_EQ(h.panel.messages.back().text.rfind("扫描网站文件时发生错误", 0), 0u) << h.panel.messages.back().text;
  EXPECT_EQ(h.commandsStartingWith("STOR"), 0);
}

}  // namespace
}  // namespace kestrova::sync
