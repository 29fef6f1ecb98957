// The catalogue's plain logic: row layout, safe base names, local and server
// deletion of a video's files.
#include <gtest/gtest.h>

#include "catalogue_rows.h"
#include "process.h"
#include "site_sync.h"
#include "video_files.h"

namespace kestrova::catalogue {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(CatalogueRows, RowKeepsTwelveFieldsAndDerivesStateText) {
  Tvideofile v{"7", "标题", "12", "abc.html", "25", "300", "2", "2026-01-01 10:00:00", "U", "ignored", "m", "z"};
  RowCells cells = CellsForListRow(v);
  EXPECT_EQ(cells[kCellId], "7");
  EXPECT_EQ(cells[kCellFileName], "abc.html");
  EXPECT_EQ(cells[kCellStateText], "草稿");
  EXPECT_EQ(cells[kCellState], "U");
  EXPECT_EQ(cells[kCellZhimo], "z");
  Tvideofile back = RecordFromCells(cells);
  v.stateText = "草稿";
  EXPECT_EQ(back, v);
  EXPECT_EQ(StateText("A"), "生效");
  EXPECT_EQ(StateText("a"), "草稿");
  EXPECT_EQ(StateText(""), "草稿");
  EXPECT_EQ(VisibleColumns().size(), 9u);
}

TEST(VideoFiles, SafeBaseNameTable) {
  struct Case {
    const char* fileName;
    std::optional<std::string> base;
  } cases[] = {
      {"AbC123.html", "AbC123"},
      {"name.tar.html", "name"},
      {"noext", "noext"},
      {"中文.html", "中文"},
      {"../evil.html", std::nullopt},
      {"a/b.html", std::nullopt},
      {"a\\b.html", std::nullopt},
      {"x..html", std::nullopt},
      {"/etc/passwd", std::nullopt},
      {".html", std::nullopt},
      {"", std::nullopt},
      {"bad\nname.html", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SafeBaseName(c.fileName), c.base) << c.fileName;
  }
  EXPECT_THROW(RequireSafeBaseName("../x.html"), UnsafeFileNameError);
  EXPECT_EQ(ThumbnailAddress("http://site", "abc"), "http://site/zoom/abc.jpg");
}

TEST(VideoFiles, DeletesWhatExistsAndLeavesTheRest) {
  TempDir data;
  WriteFile(data / "video/abc.html", "v");
  WriteFile(data / "zoom/other.jpg", "keep");
  DeleteLocalVideoFiles(data.path(), "abc");  // no thumbnail: not an error
  EXPECT_FALSE(std::filesystem::exists(data / "video/abc.html"));
  EXPECT_TRUE(std::filesystem::exists(data / "zoom/other.jpg"));
  WriteFile(data / "zoom/abc.jpg", "t");
  DeleteLocalVideoFiles(data.path(), "abc");
  EXPECT_FALSE(std::filesystem::exists(data / "zoom/abc.jpg"));
}

class RecordingSite : public SiteSync {
 public:
  bool connectFtp() override { return true; }
  void deleteIfPresent(const std::string& folder, const std::string& name) override {
    calls.push_back(folder + " " + name);
    if (folder == refuse) throw SiteCommandError("550 " + folder + ": No such file or directory.");
  }
  std::vector<std::string> calls;
  std::string refuse;
};

TEST(SiteFiles, DeletesVideoThenThumbnailBelowTheTrimmedRoot) {
  RecordingSite site;
  DeleteServerVideoFiles(site, "  /www/site ", "abc");
  EXPECT_EQ(site.calls, (std::vector<std::string>{"/www/site/video abc.html", "/www/site/zoom abc.jpg"}));
  site.calls.clear();
  DeleteServerVideoFiles(site, "/", "abc");
  EXPECT_EQ(site.calls, (std::vector<std::string>{"/video abc.html", "/zoom abc.jpg"}));
}

TEST(SiteFiles, FirstRefusalEndsTheDeletion) {
  RecordingSite site;
  site.refuse = "/site/video";
  EXPECT_THROW(DeleteServerVideoFiles(site, "/site", "abc"), SiteCommandError);
  EXPECT_EQ(site.calls.size(), 1u);
}

}  // namespace
}  // namespace kestrova::catalogue
