// What visitors of the site and the site's previous copies see while the
// upload worker publishes files: real FTP server (pyftpdlib), and for the
// visitor a plain HTTP server over the same folder.
#include <gtest/gtest.h>
#include <curl/curl.h>

#include "progress_text.h"
#include "sync_harness.h"

namespace kestrova::sync {
namespace {

using test::FtpServerProcess;
using test::ReadFile;

// Names of the files in a server folder (temporary upload names included).
std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

using PublishedUploadsOnEveryProtocol = OnEveryProtocol;
INSTANTIATE_TEST_SUITE_P(Site, PublishedUploadsOnEveryProtocol, ::testing::ValuesIn(kSiteProtocols),
                         ProtocolTestName);

TEST_P(PublishedUploadsOnEveryProtocol, AFreshSiteGetsFilesInFoldersSeveralLevelsDeepOnOneLogin) {
  FtpServerProcess server(On());
  SyncHarness h(server);  // not even the site root exists yet
  std::string now = LocalTimeText(-60);
  h.localFile("config.xml", now, "<config/>");
  h.localFile("sub/deep/x.xml", now, "<x/>");
  h.localFile("sub/deep/er/y.jpg", now, "y");
  h.localFile("video/a.mp4", now, "a");
  h.localFile("新闻/二〇二六/发布会 1.mp4", now, "新");
  // Large enough to outlast the TLS handshake's aftermath on the data
  // connection (a reset there once cut off such files' tails).
  std::string big;
  for (int i = 0; i < 300000; ++i) big += static_cast<char>(i * 7 + i / 256);
  h.localFile("video/big.mp4", now, big);
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::Completed);
  EXPECT_EQ(ReadFile(server.root() / "site/config.xml"), "<config/>");
  EXPECT_EQ(ReadFile(server.root() / "site/sub/deep/x.xml"), "<x/>");
  EXPECT_EQ(ReadFile(server.root() / "site/sub/deep/er/y.jpg"), "y");
  EXPECT_EQ(ReadFile(server.root() / "site/video/a.mp4"), "a");
  EXPECT_EQ(ReadFile(server.root() / "site/新闻/二〇二六/发布会 1.mp4"), "新");
  EXPECT_TRUE(ReadFile(server.root() / "site/video/big.mp4") == big) << "the whole file, byte for byte";
  EXPECT_EQ(FilesIn(server.root() / "site/sub/deep"), (std::vector<std::string>{"er", "x.xml"}));
  EXPECT_TRUE(h.panel.rows.empty());
  if (sftp()) return;  // the rest counts FTP commands
  EXPECT_EQ(h.commandsStartingWith("USER"), 1) << "one connection for the whole run";
  EXPECT_EQ(h.commandsStartingWith("RNTO"), 6);
  EXPECT_EQ(h.commandsStartingWith("CWD /site/sub/deep/er"), 2) << "entered once, after one refused try";
}

TEST(PublishedUploads, AStoreCutOffByAQuotaLeavesThePublishedCopyAndNoTemporaryFile) {
  FtpServerProcess server({.storeByteLimit = 100000});
  SyncHarness h(server);
  const std::string old(150000, 'o');
  h.serverFile("site/video/a.mp4", LocalTimeText(-7200), old);
  h.localFile("video/a.mp4", LocalTimeText(-60), std::string(300000, 'n'));
  h.localFile("zoom/b.jpg", LocalTimeText(-60), "b");
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::FileFailed);
  EXPECT_TRUE(h.shown(kMsgUploadError));
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
  EXPECT_EQ(ReadFile(server.root() / "site/video/a.mp4"), old) << "the site keeps serving its previous copy";
  EXPECT_EQ(FilesIn(server.root() / "site/video"), (std::vector<std::string>{"a.mp4"}));
  ASSERT_EQ(h.panel.rows.size(), 1u);
  EXPECT_EQ(h.panel.rows[0].caption, "b.jpg");
}

TEST_P(PublishedUploadsOnEveryProtocol, AServerKilledMidStoreLeavesThePublishedCopyWhole) {
  // The kill comes while the worker waits for its first progress line to be
  // shown; FTP's data connection then still has socket buffers to fill, so
  // the server also reads slowly there. (SFTP waits for each write's answer.)
  FtpServerProcess server(On({.uploadBytesPerSecond = sftp() ? 0 : 128 * 1024}));
  SyncHarness h(server);
  const std::string old(200000, 'o');
  h.serverFile("site/video/a.mp4", LocalTimeText(-7200), old);
  h.localFile("video/a.mp4", LocalTimeText(-60), std::string(2 * 1024 * 1024, 'n'));
  h.panel.onChanged = [&] {
    if (server.running() && h.panel.status.rfind("正在上传：a.mp4", 0) == 0) server.kill();
  };
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::FileFailed);
  EXPECT_EQ(ReadFile(server.root() / "site/video/a.mp4"), old);
  EXPECT_FALSE(h.worker().active());
}

// Fetches an address into memory; empty on any failure.
std::string HttpGet(const std::string& address) {
  std::string body;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
  });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  CURLcode code = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return code == CURLE_OK ? body : std::string();
}

TEST(PublishedUploads, AVisitorDuringTheUploadGetsTheOldFileOrTheNewNeverAMix) {
  FtpServerProcess server({.uploadBytesPerSecond = 512 * 1024});
  int httpPort = test::FreeTcpPort();
  test::ChildProcess web({"/usr/bin/python3", "-m", "http.server", std::to_string(httpPort), "--bind", "127.0.0.1",
                          "--directory", server.root().string()});
  ASSERT_TRUE(test::WaitForTcpPort(httpPort));
  SyncHarness h(server);
  const std::string old(600 * 1024, 'o'), fresh(700 * 1024, 'n');
  h.serverFile("site/video/page.html", LocalTimeText(-7200), old);
  h.localFile("video/page.html", LocalTimeText(-60), fresh);

  const std::string address = "http://127.0.0.1:" + std::to_string(httpPort) + "/site/video/page.html";
  int fetches = 0, mixed = 0, progressEvents = 0;
  h.panel.onChanged = [&] {
    if (h.panel.status.rfind("正在上传：page.html", 0) != 0 || ++progressEvents % 4 != 1) return;
    std::string seen = HttpGet(address);
    ++fetches;
    if (seen != old && seen != fresh) ++mixed;
  };
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::Completed);
  EXPECT_GE(fetches, 3);
  EXPECT_EQ(mixed, 0) << "of " << fetches << " fetches";
  EXPECT_EQ(HttpGet(address), fresh);
  EXPECT_EQ(FilesIn(server.root() / "site/video"), (std::vector<std::string>{"page.html"}));
}

TEST(PublishedUploads, AServerThatRefusesRenamesGetsDirectStoresAndTheStatusLineSaysSo) {
  FtpServerProcess server({.renameRefused = true});
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  h.serverFile("site/video/a.mp4", LocalTimeText(-7200), "old");
  h.localFile("video/a.mp4", now, "new a");
  h.localFile("video/b.mp4", now, "new b");
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::Completed);
  EXPECT_EQ(ReadFile(server.root() / "site/video/a.mp4"), "new a");
  EXPECT_EQ(ReadFile(server.root() / "site/video/b.mp4"), "new b");
  EXPECT_EQ(FilesIn(server.root() / "site/video"), (std::vector<std::string>{"a.mp4", "b.mp4"}));
  EXPECT_NE(std::find(h.panel.statusHistory.begin(), h.panel.statusHistory.end(),
                      RenameRefusedText("a.mp4")),
            h.panel.statusHistory.end());
  EXPECT_EQ(h.commandsStartingWith("RNFR"), 1) << "a refused rename is not tried again in the same run";
  EXPECT_EQ(h.commandsStartingWith("USER"), 1);
}

}  // namespace
}  // namespace kestrova::sync
