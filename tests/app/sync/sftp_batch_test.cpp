// SFTP uploads of a folder's files with many requests under way at once:
// what lands, in what order it is reported, and what a failure or a cancel
// in the middle of the window leaves on the site. Real sshd on loopback.
#include <gtest/gtest.h>
#include <unistd.h>

#include "progress_text.h"
#include "server_folders.h"
#include "sync_harness.h"

namespace kestrova::sync {
namespace {

using test::FtpServerProcess;
using test::ReadFile;

class SftpBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "sshd with its own config runs as root here";
  }
};

// Bytes that never repeat in step with a write: a piece at the wrong offset shows.
std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i + seed) % 251);
  return bytes;
}

// Temporary upload names left in a server folder.
std::vector<std::string> LeftoversIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().rfind('.', 0) == 0) names.push_back(entry.path().filename());
  return names;
}

TEST_F(SftpBatch, FilesOfEverySizeArriveWholeAndAreReportedInOrder) {
  FtpServerProcess server({.protocol = "sftp"});
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  // Names in upload order; several writes of the large ones are in flight at once.
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a.mp4", "first"},          {"b.mp4", Pattern(600001, 1)}, {"c.mp4", ""},
      {"d.mp4", Pattern(5000, 2)}, {"e.mp4", Pattern(3 * 1024 * 1024 + 7, 3)}, {"f.mp4", "last"}};
  for (const auto& [name, content] : files) h.localFile("video/" + name, now, content);
  h.serverFile("site/video/d.mp4", LocalTimeText(-7200), "old");

  std::vector<std::string> uploading;
  h.panel.onChanged = [&] {
    if (!h.panel.rows.empty() && h.panel.rows.front().cells[5] == kStateUploading &&
        (uploading.empty() || uploading.back() != h.panel.rows.front().caption))
      uploading.push_back(h.panel.rows.front().caption);
  };
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::Completed);
  for (const auto& [name, content] : files)
    EXPECT_TRUE(ReadFile(server.root() / "site/video" / name) == content) << name << " byte for byte";
  EXPECT_TRUE(LeftoversIn(server.root() / "site/video").empty());
  EXPECT_EQ(uploading, (std::vector<std::string>{"a.mp4", "b.mp4", "c.mp4", "d.mp4", "e.mp4", "f.mp4"}));
  EXPECT_NE(std::find(h.panel.statusHistory.begin(), h.panel.statusHistory.end(), TransferDoneText("e.mp4")),
            h.panel.statusHistory.end());
  EXPECT_EQ(h.panel.status, TransferDoneText("f.mp4"));
  EXPECT_EQ(h.worker().uploadedFiles().size(), files.size());
}

TEST_F(SftpBatch, AServerAllowingOneChannelGetsTheFilesOneByOne) {
  FtpServerProcess server({.protocol = "sftp", .sshSessions = 1});
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  for (int i = 1; i <= 4; ++i) h.localFile("video/" + std::to_string(i) + ".mp4", now, "new " + std::to_string(i));
  h.serverFile("site/video/3.mp4", LocalTimeText(-7200), "old");
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::Completed);
  for (int i = 1; i <= 4; ++i)
    EXPECT_EQ(ReadFile(server.root() / "site/video" / (std::to_string(i) + ".mp4")), "new " + std::to_string(i));
  EXPECT_TRUE(LeftoversIn(server.root() / "site/video").empty());
  EXPECT_EQ(h.panel.messages.back().text, kMsgRunFinished);
}

TEST_F(SftpBatch, AFileRefusedInTheMiddleKeepsItsCopyEarlierOnesLandAndLaterOnesStayUnpublished) {
  FtpServerProcess server({.protocol = "sftp"});
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  for (int i = 1; i <= 9; ++i) h.localFile("video/" + std::to_string(i) + ".mp4", now, "new " + std::to_string(i));
  h.serverFile("site/video/5.mp4", LocalTimeText(-7200), "old 5");
  h.serverFile("site/video/7.mp4", LocalTimeText(-7200), "old 7");
  // A folder where 5.mp4's temporary copy would go: the server cannot open it.
  server.placeFiles([&] { std::filesystem::create_directories(server.root() / "site/video/.5.mp4.upload"); });
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::FileFailed);
  EXPECT_TRUE(h.shown(kMsgUploadError));
  for (int i = 1; i <= 4; ++i)
    EXPECT_EQ(ReadFile(server.root() / "site/video" / (std::to_string(i) + ".mp4")), "new " + std::to_string(i));
  EXPECT_EQ(ReadFile(server.root() / "site/video/5.mp4"), "old 5");
  EXPECT_EQ(ReadFile(server.root() / "site/video/7.mp4"), "old 7") << "nothing after the failed file is published";
  for (int i : {6, 8, 9})
    EXPECT_FALSE(std::filesystem::exists(server.root() / "site/video" / (std::to_string(i) + ".mp4"))) << i;
  EXPECT_EQ(LeftoversIn(server.root() / "site/video"), std::vector<std::string>{".5.mp4.upload"})
      << "the later files' temporary copies are deleted";
  EXPECT_EQ(h.panel.statusHistory.back().rfind("上传 5.mp4 失败：", 0), 0u) << h.panel.statusHistory.back();
  ASSERT_EQ(h.panel.rows.size(), 4u);
  EXPECT_EQ(h.panel.rows[0].caption, "6.mp4");
  EXPECT_EQ(h.panel.rows[0].cells[5], kStateWaiting);
  EXPECT_EQ(h.worker().uploadedFiles().size(), 4u);
}

TEST_F(SftpBatch, ACancelInTheMiddleOfTheWindowEndsTheRunAndEveryPublishedCopyIsWhole) {
  FtpServerProcess server({.protocol = "sftp"});
  SyncHarness h(server);
  std::string now = LocalTimeText(-60);
  // More files than the window holds, so the cancel finds work under way.
  auto name = [](int i) { return std::to_string(100 + i) + ".mp4"; };
  for (int i = 1; i <= 60; ++i) h.localFile("video/" + name(i), now, Pattern(50000, i));
  for (int i : {1, 10, 50}) h.serverFile("site/video/" + name(i), LocalTimeText(-7200), "old");
  h.panel.onChanged = [&] {
    if (h.panel.status.rfind("正在上传：" + name(5), 0) == 0) h.site.ftp.cancelTransfer();
  };
  h.runUpload();

  EXPECT_EQ(h.worker().lastOutcome(), RunOutcome::FileFailed);
  EXPECT_FALSE(h.worker().active());
  for (int i = 1; i <= 60; ++i) {
    auto path = server.root() / "site/video" / name(i);
    if (i < 5) {
      EXPECT_TRUE(ReadFile(path) == Pattern(50000, i)) << name(i) << " was done before the cancel";
    }
    if (!std::filesystem::exists(path)) continue;
    std::string content = ReadFile(path);
    EXPECT_TRUE(content == "old" || content == Pattern(50000, i)) << name(i) << ": the old copy or the whole new one";
  }
  EXPECT_FALSE(std::filesystem::exists(server.root() / "site/video" / name(60))) << "never started";
}

// A server stopped where it stands while a batch is under way: the idle
// limit ends the wait in its own words, and a cancel ends it as well.
TEST_F(SftpBatch, AServerThatStopsAnsweringMidBatchEndsTheWaitAtTheIdleLimitOrOnCancel) {
  FtpServerProcess server({.protocol = "sftp"});
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "idle limit");
    SyncHarness h(server);
    h.connect();
    ASSERT_TRUE(h.site.ftp.connected());
    h.serverFile("site/v/old.mp4", LocalTimeText(-7200), "old");
    auto files = [&](int count) {
      std::vector<BatchUpload> files;
      for (int i = 0; i < count; ++i) {
        std::string name = std::to_string(i) + ".mp4";
        auto local = h.localFile("v/" + name, LocalTimeText(-60), Pattern(100000, i));
        std::string path = server.sitePath("/site/v/" + name);
        files.push_back({local.string(), TemporaryUploadPath(path), path});
      }
      return files;
    };
    ASSERT_TRUE(h.site.ftp.storeBatch(files(1), {})) << "the batch channel is open before the server stops";
    std::vector<BatchUpload> batch = files(10);
    ExpectStoppedServerWaitEnds(h, cancel, [&] { h.site.ftp.storeBatch(batch, {}); });
  }
}

}  // namespace
}  // namespace kestrova::sync
