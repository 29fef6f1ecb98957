// The plain rules of the synchronisation: which extensions the scan takes,
// how the filter list splits, how listings read, where a file goes on the
// server and what the status line says.
#include <gtest/gtest.h>

#include <QString>

#include "change_scan.h"
#include "date_text.h"
#include "extension_filter.h"
#include "ftp_listing.h"
#include "progress_text.h"
#include "site_protocol.h"

namespace kestrova::sync {
namespace {

TEST(ExtensionFilter, SoundCodesOfTheFilterEntriesAndWhatElseTheyMatch) {
  struct Case {
    const char* entry;
    const char* code;
    std::vector<const char*> alsoMatched;
  };
  const Case cases[] = {
      {"mp4", "M100", {"mp3", "mov", "m4v", "map", "MP4"}},
      {"jpg", "J120", {"jpeg", "JPG"}},
      {"xml", "X540", {}},
      {"js", "J000", {"jsx", "j"}},
      {"html", "H354", {"htmlx"}},
      {"gif", "G100", {"gf"}},
      {"swf", "S100", {}},
      {"htm", "H350", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SoundexCode(c.entry), c.code) << c.entry;
    for (const char* extension : c.alsoMatched) EXPECT_TRUE(ExtensionMatches(extension, c.entry)) << extension;
  }
  EXPECT_EQ(SoundexCode("mpg"), "M120");
  EXPECT_EQ(SoundexCode("3gp"), "3210");  // a first character that is no letter stays as it is
  EXPECT_EQ(SoundexCode("ashcraft"), "A261");  // h keeps the digit before it: s and c count once
  auto filter = spit(kExtensionList);
  for (const char* never : {"png", "css", "txt", "zip", "mpg", ""}) {
    for (const auto& entry : filter) EXPECT_FALSE(ExtensionMatches(never, entry)) << never << " vs " << entry;
  }
}

TEST(ExtensionFilter, SpitSplitsAtCommasAndBlanksAndKeepsQuotedCommas) {
  EXPECT_EQ(spit("mp4,jpg,xml,js,html,gif,swf,htm"),
            (std::vector<std::string>{"mp4", "jpg", "xml", "js", "html", "gif", "swf", "htm"}));
  EXPECT_EQ(spit(" a b,c "), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(spit("\"x,y\",z"), (std::vector<std::string>{"x,y", "z"}));
  EXPECT_EQ(spit("a,,b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(spit("").empty());
  EXPECT_EQ(ExtensionOf("clip.mov"), "mov");
  EXPECT_EQ(ExtensionOf("a.b.jpg"), "jpg");
  EXPECT_EQ(ExtensionOf("README"), "");
}

TEST(FtpListing, ReadsUnixAndDosStylesOnTheServersClock) {
  WallTime today = MakeWallTime(2026, 3, 10, 12, 0);
  std::string text =
      "total 12\r\n"
      "-rw-r--r--   1 owner    group        1234 Mar 05 14:22 a.mp4\r\n"
      "drwxr-xr-x   2 owner    group        4096 Dec 31  2024 video\r\n"
      "-rw-r--r--   1 owner    group           7 Nov 20 08:05 last year.jpg\r\n"
      "lrwxrwxrwx   1 owner    group           5 Mar 09 23:59 link.js -> a.js\r\n"
      "03-05-26  02:22PM       <DIR>          zoom\r\n"
      "03-05-2026  09:07                 99 config  copy.xml\r\n"
      "garbage line\r\n"
      "03-06-26  12:05PM                 10 noon.mp4\r\n"
      "03-06-26  12:40AM                 10 after midnight.mp4\r\n";
  auto entries = ParseListing(text, today);
  ASSERT_EQ(entries.size(), 8u);
  EXPECT_EQ(entries[0].name, "a.mp4");
  EXPECT_EQ(IsoText(entries[0].modified), "2026-03-05 14:22:00");
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_EQ(entries[0].size, 1234);
  EXPECT_EQ(entries[1].name, "video");
  EXPECT_EQ(entries[1].size, std::nullopt) << "a folder has no size to compare";
  EXPECT_TRUE(entries[1].isDirectory);
  EXPECT_EQ(IsoText(entries[1].modified), "2024-12-31 00:00:00");
  // A November date without a year, read in March, is last November's.
  EXPECT_EQ(entries[2].name, "last year.jpg");
  EXPECT_EQ(IsoText(entries[2].modified), "2025-11-20 08:05:00");
  EXPECT_EQ(entries[3].name, "link.js");
  EXPECT_EQ(entries[4].name, "zoom");
  EXPECT_TRUE(entries[4].isDirectory);
  EXPECT_EQ(IsoText(entries[4].modified), "2026-03-05 14:22:00");
  EXPECT_EQ(entries[5].name, "config  copy.xml");
  EXPECT_EQ(entries[5].size, 99);
  EXPECT_EQ(entries[4].size, std::nullopt);
  EXPECT_EQ(IsoText(entries[5].modified), "2026-03-05 09:07:00");
  // Twelve o'clock is noon with PM and the first hour of the day with AM.
  EXPECT_EQ(IsoText(entries[6].modified), "2026-03-06 12:05:00");
  EXPECT_EQ(IsoText(entries[7].modified), "2026-03-06 00:40:00");
  EXPECT_EQ(entries[7].name, "after midnight.mp4");
}

// Found by the listing's fuzz target: these used to throw out of the parser
// and end the scan. Lines that are no listing line are skipped.
TEST(FtpListing, MalformedClocksAndNumbersAreSkippedNotThrown) {
  const WallTime today = MakeWallTime(2026, 3, 10, 12, 0);
  const std::string text =
      "03-05-23  02:2        1234 short minutes\r\n"
      "03-05-23  123:22PM    1234 long hours\r\n"
      "-rw-r--r--   1 o g 1 Mar 99999999999 14:22 huge day\r\n"
      "-rw-r--r--   1 o g 1 Mar 05 99999999999 huge year\r\n"
      "-rw-r--r--   1 o g 1 Mar 05 99999999999:00 huge hour\r\n"
      "-rw-r--r--   1 o g 1 Mar 05 14:22 kept\r\n";
  std::vector<ListingEntry> entries;
  ASSERT_NO_THROW(entries = ParseListing(text, today));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "kept");
}

TEST(ServerPaths, LocalPathBelowTheDataFolderFollowsTheSiteRoot) {
  const std::string data = "/opt/kestrova/data";
  EXPECT_EQ(getserverpath(data, data, "/site"), "/site");
  EXPECT_EQ(getserverpath(data + "/config.xml", data, "/site"), "/site/config.xml");
  EXPECT_EQ(getserverpath(data + "/video", data, "/site"), "/site/video");
  EXPECT_EQ(getserverpath(data + "/video/a.mp4", data, "/site"), "/site/video/a.mp4");
  EXPECT_EQ(getserverpath(data + "/video/a.mp4", data, "/site/"), "/site/video/a.mp4");
  EXPECT_EQ(getserverpath(data + "/video/a.mp4", data, "/"), "/video/a.mp4");
  EXPECT_EQ(getserverpath(data + "/config.xml", data, "/"), "/config.xml");
  EXPECT_EQ(getserverpath(data, data, "/"), "/");
}

TEST(ProgressTexts, PiecesInOrderWithoutBlanksAndGeneralPercentages) {
  EXPECT_EQ(ProgressText("a.mp4", 500, 1000),
            "正在上传：a.mp4 当前进度：500/1000 当前文件上传百分比：50%");
  EXPECT_EQ(PercentText(1, 3), "33.3333333333333");
  EXPECT_EQ(PercentText(1000, 1000), "100");
  EXPECT_EQ(TransferDoneText(""), "文件： 上传完成");
  // Listings have no total; the text must still make sense.
  EXPECT_EQ(ProgressText("", 2048, 0), "正在读取服务器文件列表：已接收 2048 字节");
}

TEST(ProgressTexts, ALongFileNameLosesItsMiddleSoTheFiguresStayInView) {
  // One unit per character, as a fixed-width font would measure.
  auto characters = [](const std::string& text) { return static_cast<int>(QString::fromStdString(text).size()); };
  const std::string name = "一段很长的中文文件名_" + std::string(60, 'x') + "_结尾.mp4";
  const std::string figures = " 当前进度：500/1000 当前文件上传百分比：50%";
  struct Case {
    std::string text, keptStart, keptEnd;
  };
  for (const Case& c : {Case{ProgressText(name, 500, 1000), "正在上传：一", figures},
                        Case{TransferDoneText(name), "文件：一", "尾.mp4 上传完成"},
                        Case{"上传 " + name + " 失败：STOR refused", "上传 一", " 失败：STOR refused"},
                        Case{RenameRefusedText(name), "服务器不支持改名", ".mp4"}}) {
    std::string fitted = FitStatusText(c.text, characters, 50);
    EXPECT_LE(characters(fitted), 50) << fitted;
    EXPECT_GE(characters(fitted), 46) << "as much of the name as fits: " << fitted;
    EXPECT_EQ(fitted.rfind(c.keptStart, 0), 0u) << fitted;
    EXPECT_EQ(fitted.substr(fitted.size() - c.keptEnd.size()), c.keptEnd) << fitted;
    EXPECT_NE(fitted.find("…"), std::string::npos) << fitted;
    EXPECT_TRUE(QString::fromStdString(fitted).isValidUtf16());
  }
  EXPECT_EQ(FitStatusText(ProgressText("a.mp4", 1, 2), characters, 200), ProgressText("a.mp4", 1, 2));
  EXPECT_EQ(FitStatusText(std::string(80, 'z'), characters, 50), std::string(80, 'z')) << "no name to shorten";
}

TEST(DateTexts, MidnightShowsTheDateAloneAndOtherTimesCarrySeconds) {
  // In the C locale (see the test's environment); the clock carries no zone.
  EXPECT_EQ(DateTimeText(kNoServerCopy), "1970/01/01");
  EXPECT_EQ(DateTimeText(MakeWallTime(2026, 3, 5, 14, 22, 7)), "2026/03/05 14:22:07");
  EXPECT_EQ(DateTimeText(MakeWallTime(2026, 12, 25, 0, 0, 0)), "2026/12/25");
  EXPECT_EQ(DateTimeText(MakeWallTime(2026, 12, 25, 0, 0, 1)), "2026/12/25 00:00:01");
}

TEST(DateTexts, WithoutALanguageTheyReadAsOnAChineseDesktop) {
  // The test runs with LANG=C.
  EXPECT_EQ(DateTimeText(MakeWallTime(2026, 12, 10, 11, 53, 0)), "2026/12/10 11:53:00");
  EXPECT_EQ(DateTimeText(MakeWallTime(2026, 3, 5, 9, 7, 3)), "2026/03/05 09:07:03");
  EXPECT_EQ(DateTimeText(kNoServerCopy), "1970/01/01");
}

TEST(SiteAddress, TheStoredAddressKeepsProtocolHostAndSftpKeyFileAndReadsOldAddressesAsBefore) {
  struct Case {
    std::string stored;
    SiteAddress address;
  };
  for (const Case& c : std::vector<Case>{
           {"ftp.example.com", {SiteProtocol::Ftp, "ftp.example.com", ""}},
           {"ftps://10.0.0.2", {SiteProtocol::Ftps, "10.0.0.2", ""}},
           {"ftps-implicit://site", {SiteProtocol::FtpsImplicit, "site", ""}},
           {"sftp://site", {SiteProtocol::Sftp, "site", ""}},
           {"sftp://site?key=/home/王 五/.ssh/id_ed25519", {SiteProtocol::Sftp, "site", "/home/王 五/.ssh/id_ed25519"}},
           {"sftp://site?key=/keys/a?key=b", {SiteProtocol::Sftp, "site", "/keys/a?key=b"}},
           {"gopher://site", {SiteProtocol::Ftp, "gopher://site", ""}},  // not ours: a host as typed
       }) {
    SiteAddress read = SplitSiteAddress(c.stored);
    EXPECT_EQ(read.protocol, c.address.protocol) << c.stored;
    EXPECT_EQ(read.host, c.address.host) << c.stored;
    EXPECT_EQ(read.keyFile, c.address.keyFile) << c.stored;
    EXPECT_EQ(JoinSiteAddress(read), c.stored);
  }
  // Only SFTP logs in with a key: another protocol stores none.
  EXPECT_EQ(JoinSiteAddress({SiteProtocol::Ftps, "site", "/key"}), "ftps://site");
}

}  // namespace
}  // namespace kestrova::sync
