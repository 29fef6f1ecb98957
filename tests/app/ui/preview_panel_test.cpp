// The preview on the catalogue panel against the real service: a catalogue
// video plays into Panel1 with its position, stops, gives a new thumbnail,
// and files that cannot play say so in Panel1's caption.
#include <QRegularExpression>

#include "catalogue_rows.h"
#include "desktop_fixture.h"
#include "media_fixture.h"
#include "player_panel.h"
#include "video_files.h"

namespace kestrova::test {
namespace {

using catalogue::kCellFileName;
using PreviewPanel = DesktopFixture;

const QString kHint = QStringLiteral("请点击下方播放按纽进行视频播放");

// Row's video as the catalogue stores it (an MP4 under its ".html" name):
// 640 x 360, red above and blue below.
std::filesystem::path PutVideo(const std::filesystem::path& dataPath, const QString& fileName, int seconds) {
  std::filesystem::path file = dataPath / "video" / fileName.toStdString();
  std::filesystem::create_directories(file.parent_path());
  MakeMedia("-f lavfi -i color=c=red:size=640x360:rate=25:duration=" + std::to_string(seconds) +
                " -vf drawbox=y=180:h=180:c=blue:t=fill -c:v libx264 -preset veryfast -pix_fmt yuv420p -f mp4",
            file);
  return file;
}

TEST_F(PreviewPanel, PlaysFollowsThePositionCapturesAndStops) {
  createWindows();
  loginAndWaitForList();
  main().lvFiles->selectRow(0);
  PutVideo(dataPath(), cell(0, kCellFileName), 4);
  EXPECT_FALSE(main().btnStop->isEnabled());
  EXPECT_FALSE(main().btnCapture->isEnabled());
  EXPECT_EQ(main().lblStatus->text(), QStringLiteral("00:00:00:000"));

  main().btnPlay->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().btnStop->isEnabled(); }, 10000)) << platform_.shown.size();
  EXPECT_FALSE(main().btnPlay->isEnabled());
  EXPECT_TRUE(main().btnCapture->isEnabled());
  // The label starts as "00:00:00:000" (a colon, which sorts after any
  // position text): wait for a position text first, then for time to pass.
  const QRegularExpression positionText("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const QString status = main().lblStatus->text();
        return positionText.match(status).hasMatch() && status > QStringLiteral("00:00:00.300") &&
               !main().Panel1->picture().isNull();
      },
      10000))
      << main().lblStatus->text().toStdString();

  main().btnCapture->click();
  std::string base = catalogue::BaseName(cell(0, kCellFileName).toStdString());
  QImage thumbnail(QString::fromStdString(catalogue::ThumbnailPath(dataPath(), base).string()), "JPG");
  ASSERT_EQ(thumbnail.size(), QSize(120, 90));
  EXPECT_GT(qRed(thumbnail.pixel(60, 2)), 200);  // stretched: no bars
  EXPECT_GT(qBlue(thumbnail.pixel(60, 87)), 200);
  EXPECT_EQ(main().imgZoom->pixmap().size(), QSize(120, 90));

  main().btnStop->click();
  EXPECT_TRUE(main().Panel1->picture().isNull());
  EXPECT_EQ(main().Panel1->caption(), kHint);
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().btnPlay->isEnabled(); }, 5000));
  EXPECT_FALSE(main().btnStop->isEnabled());
  EXPECT_FALSE(main().btnCapture->isEnabled());
}

TEST_F(PreviewPanel, TheEndOfTheVideoEnablesPlayAgain) {
  createWindows();
  loginAndWaitForList();
  main().lvFiles->selectRow(0);
  PutVideo(dataPath(), cell(0, kCellFileName), 1);
  main().btnPlay->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().btnStop->isEnabled(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().btnPlay->isEnabled(); }, 10000));
  EXPECT_EQ(main().lblStatus->text(), QStringLiteral("00:00:01.000"));
  EXPECT_FALSE(main().btnCapture->isEnabled());
}

TEST_F(PreviewPanel, FilesThatCannotPlayGiveTheErrorInTheCaptionOrNothing) {
  createWindows();
  loginAndWaitForList();
  // No file: nothing happens.
  main().lvFiles->selectRow(0);
  main().btnPlay->click();
  QTest::qWait(200);
  EXPECT_EQ(main().Panel1->caption(), kHint);
  EXPECT_FALSE(main().btnStop->isEnabled());
  // Not a video: the player's error text.
  main().lvFiles->selectRow(1);
  std::filesystem::path notVideo = dataPath() / "video" / cell(1, kCellFileName).toStdString();
  std::filesystem::create_directories(notVideo.parent_path());
  WriteFile(notVideo, "not a video");
  main().btnPlay->click();
  EXPECT_EQ(main().Panel1->caption().toStdString(), notVideo.string() + ": Invalid data found when processing input");
  EXPECT_TRUE(main().btnPlay->isEnabled());
  // No row selected: the lookup fails and the top-level display says why.
  main().lvFiles->clearSelection();
  main().btnPlay->click();
  EXPECT_TRUE(waitForShown(QStringLiteral("请先在列表中选择一个视频")));
}

TEST_F(PreviewPanel, AClosingWindowGetsNoMorePlayerEvents) {
  createWindows();
  loginAndWaitForList();
  main().lvFiles->selectRow(0);
  PutVideo(dataPath(), cell(0, kCellFileName), 1);
  ASSERT_TRUE(main().FormCloseQuery());
  main().btnPlay->click();
  QTest::qWait(1500);
  EXPECT_TRUE(main().btnPlay->isEnabled());
  EXPECT_FALSE(main().btnStop->isEnabled());
  EXPECT_EQ(main().lblStatus->text(), QStringLiteral("00:00:00:000"));
}

}  // namespace
}  // namespace kestrova::test
