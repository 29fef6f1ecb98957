// Opening the site connection and the change scan, against a real FTP
// server on loopback (the change list also on FTPS and SFTP).
#include <gtest/gtest.h>

#include <map>

#include "date_text.h"
#include "pending_registrations.h"
#include "sync_harness.h"

namespace kestrova::sync {
namespace {

using test::FtpServerProcess;

TEST(ConnectFtp, RefusesBadFieldsBeforeTouchingTheConnection) {
  FtpServerProcess server;
  SyncHarness h(server);
  h.connect();
  ASSERT_TRUE(h.site.ftp.connected());
  h.panel.messages.clear();

  h.panel.fields.serverIP = "";
  h.connect();
  EXPECT_EQ(h.panel.messages.back().text, kMsgNoServerAddress);
  EXPECT_TRUE(h.site.ftp.connected()) << "an empty address must leave the connection alone";

  h.panel.fields.serverIP = "127.0.0.1";
  h.panel.fields.port = "ftp";
  h.connect();
  EXPECT_EQ(h.panel.messages.back().text, kMsgPortNotNumber);
  EXPECT_TRUE(h.site.ftp.connected());
  EXPECT_FALSE(h.panel.uploadPanelShown);
}

TEST(ConnectFtp, ABadLoginAndAnUnreachableServerShowTheUploadPanelAndTheirOwnMessages) {
  FtpServerProcess server;
  SyncHarness h(server);
  h.panel.fields.password = "wrong";
  h.connect();
  EXPECT_FALSE(h.site.ftp.connected());
  EXPECT_TRUE(h.panel.uploadPanelShown);
  ASSERT_EQ(h.panel.messages.size(), 1u);
  EXPECT_EQ(h.panel.messages[0].text, kMsgLoginRefused);

  server.kill();
  h.panel.fields.password = server.password();
  h.connect();
  EXPECT_FALSE(h.site.ftp.connected());
  EXPECT_EQ(h.panel.messages.back().text, kMsgCannotConnect);
}

TEST(ConnectFtp, AMissingSiteRootIsCreatedByOneMkdAndTheTrimmedRootWrittenBack) {
  FtpServerProcess server;
  SyncHarness h(server, "  /newsite \t");
  h.connect();
  EXPECT_TRUE(h.site.ftp.connected());
  EXPECT_EQ(h.panel.fields.serverPath, "/newsite");
  EXPECT_TRUE(std::filesystem::is_directory(server.root() / "newsite"));
  EXPECT_EQ(h.commandsStartingWith("MKD "), 1);
  EXPECT_EQ(h.panel.status, kStatusConnected);
  EXPECT_TRUE(h.panel.messages.empty());

  // Also the first commands: login, TYPE I, SYST.
  const auto& sent = h.site.ftp.commandsSent();
  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ(sent[0], "USER " + server.user());
  EXPECT_EQ(sent[1], "PASS ****");
  EXPECT_NE(std::find(sent.begin(), sent.end(), "TYPE I"), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), "SYST"), sent.end());
}

TEST(ConnectFtp, ASiteRootThatCannotBeCreatedClosesTheConnection) {
  FtpServerProcess server;
  SyncHarness h(server, "/no/such/parents");
  h.connect();
  EXPECT_FALSE(h.site.ftp.connected());
  ASSERT_EQ(h.panel.messages.size(), 1u);
  EXPECT_EQ(h.panel.messages[0].text, kMsgBadSiteRoot);
  EXPECT_TRUE(h.panel.status.empty()) << "the status line is not changed";
}

TEST(ConnectFtp, TheTestButtonReportsSuccessAndWaitsForNoRun) {
  FtpServerProcess server;
  SyncHarness h(server);
  btntestConnClick(h.site, h.panel, false);
  ASSERT_EQ(h.panel.messages.size(), 1u);
  EXPECT_EQ(h.panel.messages[0].text, kMsgTestSucceeded);
  EXPECT_EQ(h.panel.status, kStatusTestSucceeded);

  // While an upload run holds the connection the test does not cut in.
  std::unique_lock busy(h.site.busy);
  btntestConnClick(h.site, h.panel, true);
  EXPECT_EQ(h.panel.messages.back().text, kMsgTransferring);
}

using ChangeScanOnEveryProtocol = OnEveryProtocol;
INSTANTIATE_TEST_SUITE_P(Site, ChangeScanOnEveryProtocol, ::testing::ValuesIn(kSiteProtocols), ProtocolTestName);

TEST_P(ChangeScanOnEveryProtocol, ListsNewerAndMissingFilesOfTheFilterWithTheirServerPlaces) {
  FtpServerProcess server(On());
  SyncHarness h(server);
  // Server copies at a whole minute an hour ago; local copies within the same
  // minute, and one minute later.
  long base = WholeMinuteOffset(-3600);
  std::string serverTime = LocalTimeText(base);
  h.serverFile("site/video/same.mp4", serverTime, "same");
  h.serverFile("site/video/newer.mp4", serverTime);
  h.localFile("video/same.mp4", LocalTimeText(base + 59), "same");
  h.localFile("video/newer.mp4", LocalTimeText(base + 60));
  // Rewritten within the minute of its upload: only its size tells.
  h.serverFile("site/video/rewritten.mp4", serverTime, "first");
  h.localFile("video/rewritten.mp4", LocalTimeText(base + 30), "second take");

  std::string now = LocalTimeText(-60);
  h.localFile("zoom/missing.jpg", now);
  h.localFile("新闻/发布会.mp4", now);
  h.localFile("clip.mov", now);
  h.localFile("logo.png", now);
  h.localFile("README", now);
  h.localFile("config.xml", now);
  // A video whose registration is still pending: neither it nor its
  // thumbnail may reach the site yet.
  h.localFile("video/pending.html", now);
  h.localFile("zoom/pending.jpg", now);
  ASSERT_EQ(catalogue::WritePendingRegistrations(h.data, {{"pending.html", "7", "t", "", "", "", ""}}), "");

  h.connect();
  auto rows = h.scan();
  std::map<std::string, ChangeRow> byName;
  for (const auto& row : rows) byName[row.name] = row;

  EXPECT_EQ(byName.count("same.mp4"), 0u) << "same minute on both sides: nothing to do";
  EXPECT_EQ(byName.count("logo.png"), 0u);
  EXPECT_EQ(byName.count("README"), 0u);
  EXPECT_EQ(byName.count("pending.html"), 0u);
  EXPECT_EQ(byName.count("pending.jpg"), 0u);
  ASSERT_EQ(byName.count("newer.mp4"), 1u);
  EXPECT_EQ(IsoText(byName["newer.mp4"].serverTime), serverTime);
  EXPECT_EQ(byName["newer.mp4"].serverPath, server.sitePath("/site/video/newer.mp4"));
  EXPECT_EQ(byName["newer.mp4"].serverDirectory, server.sitePath("/site/video"));
  EXPECT_EQ(byName["newer.mp4"].localPath, (h.data / "video/newer.mp4").string());

  ASSERT_EQ(byName.count("missing.jpg"), 1u);
  EXPECT_EQ(byName["missing.jpg"].serverTime, kNoServerCopy);
  EXPECT_EQ(byName["missing.jpg"].serverDirectory, server.sitePath("/site/zoom"));
  EXPECT_EQ(byName["missing.jpg"].state, kStateWaiting);
  ListRow texts = RowTexts(byName["missing.jpg"]);
  EXPECT_EQ(texts.cells[4], DateTimeText(kNoServerCopy));
  EXPECT_EQ(texts.cells[2], "上传");
  EXPECT_EQ(texts.cells[6], server.sitePath("/site/zoom"));
  ASSERT_EQ(byName.count("发布会.mp4"), 1u);
  EXPECT_EQ(byName["发布会.mp4"].serverPath, server.sitePath("/site/新闻/发布会.mp4"));

  ASSERT_EQ(byName.count("clip.mov"), 1u) << "mov matches mp4 by its sound code";
  ASSERT_EQ(byName.count("config.xml"), 1u);
  EXPECT_EQ(byName["config.xml"].serverPath, server.sitePath("/site/config.xml"));
  EXPECT_EQ(byName["config.xml"].serverDirectory, server.sitePath("/site"));
  ASSERT_EQ(byName.count("rewritten.mp4"), 1u) << "same minute but another size: sent again";
  EXPECT_EQ(IsoText(byName["rewritten.mp4"].serverTime), serverTime);
  EXPECT_EQ(rows.size(), 6u);
}

TEST(ChangeScan, FetchesEachServerDirectoryListingOnceWhateverTheNumberOfFiles) {
  // 12 files on the server in video (half of them changed locally), one
  // missing there, a server folder named like a local file, a changed file in
  // zoom and a local folder the server lacks.
  FtpServerProcess server;
  SyncHarness h(server);
  std::string old = LocalTimeText(-7200);
  std::string now = LocalTimeText(-60);
  for (int i = 0; i < 12; ++i) {
    std::string name = "v" + std::to_string(i) + ".mp4";
    h.serverFile("site/video/" + name, old, "same bytes");
    h.localFile("video/" + name, i % 2 ? now : old, "same bytes");  // every other one changed
  }
  h.localFile("video/new.mp4", now);                   // not on the server at all
  h.serverFile("site/zoom/a.jpg", old);
  h.localFile("zoom/a.jpg", now);
  std::filesystem::create_directories(server.root() / "site/video/folder.mp4");
  h.localFile("video/folder.mp4", now);  // a server folder of the same name is no copy of the file
  h.localFile("model/logo.gif", now);

  h.connect();
  int listsBefore = h.commandsStartingWith("LIST");
  auto rows = h.scan();
  EXPECT_EQ(rows.size(), 6u + 1u + 1u + 1u + 1u);
  for (const auto& row : rows) {
    if (row.name == "new.mp4" || row.name == "folder.mp4" || row.name == "logo.gif")
      EXPECT_EQ(row.serverTime, kNoServerCopy) << row.name;
    else
      EXPECT_EQ(IsoText(row.serverTime), old.substr(0, 17) + "00") << row.name;
  }
  EXPECT_EQ(h.commandsStartingWith("LIST") - listsBefore, 3) << "one listing per server directory";
  EXPECT_EQ(h.commandsStartingWith("SIZE "), 1) << "one SIZE shows the server answers it; listings do the rest";
  EXPECT_EQ(h.commandsStartingWith("MKD "), 0) << "a scan creates nothing";
}

TEST(DeleteOnServer, DeletesWhatTheServerHasAndReportsRefusals) {
  FtpServerProcess server;
  SyncHarness h(server);
  std::string old = LocalTimeText(-7200);
  h.serverFile("site/video/abc.html", old);
  h.connect();
  std::lock_guard lock(h.site.busy);
  deleteIfPresent(h.site.ftp, "/site/video", "abc.html");
  EXPECT_FALSE(std::filesystem::exists(server.root() / "site/video/abc.html"));
  EXPECT_NO_THROW(deleteIfPresent(h.site.ftp, "/site/video", "abc.html"));
  EXPECT_THROW(deleteIfPresent(h.site.ftp, "/site/zoom", "abc.jpg"), FtpError);
}

}  // namespace
}  // namespace kestrova::sync
