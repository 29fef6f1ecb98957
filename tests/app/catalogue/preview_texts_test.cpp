// The preview's plain helpers: the position text and the captured thumbnail.
#include <gtest/gtest.h>

#include <QImage>

#include "duration_to_str.h"
#include "media/bitmap.h"
#include "process.h"
#include "thumbnail_capture.h"

namespace kestrova::catalogue {
namespace {

TEST(DurationToStrTest, IntegerDivisionAndHoursBeyondADay) {
  const std::pair<int64_t, const char*> table[] = {
      {0, "00:00:00.000"},
      {59999999, "00:00:59.999"},
      {3723450000, "01:02:03.450"},
      {int64_t(100) * 3600 * 1000000, "100:00:00.000"},
  };
  for (const auto& [microseconds, text] : table) EXPECT_EQ(DurationToStr(microseconds), text) << microseconds;
}

// A 640 x 360 picture, red above and blue below, as the player hands it out.
media::Bitmap HalvesPicture() {
  media::Bitmap picture;
  picture.Resize(640, 360);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      uint8_t* pixel = picture.Row(y) + x * 3;  // B, G, R
      pixel[0] = y < 180 ? 0 : 255;
      pixel[2] = y < 180 ? 255 : 0;
    }
  }
  return picture;
}

TEST(ThumbnailCaptureTest, StretchesOverTheWholeThumbnailAndSavesAJpeg) {
  test::TempDir folder;
  QImage thumbnail = StretchToThumbnail(ImageFromBitmap(HalvesPicture()));
  std::filesystem::path file = folder / "zoom" / "ABC.jpg";
  SaveThumbnail(thumbnail, file);
  QImage saved(QString::fromStdString(file.string()), "JPG");
  ASSERT_EQ(saved.size(), QSize(120, 90));
  // Stretched, not letterboxed: red reaches the top row, blue the bottom one,
  // and they meet half way.
  EXPECT_GT(qRed(saved.pixel(60, 1)), 200);
  EXPECT_GT(qRed(saved.pixel(60, 40)), 200);
  EXPECT_GT(qBlue(saved.pixel(60, 50)), 200);
  EXPECT_GT(qBlue(saved.pixel(60, 88)), 200);
  EXPECT_EQ(std::filesystem::directory_iterator(folder / "zoom")->path(), file);  // nothing left beside it
}

TEST(ThumbnailCaptureTest, AThumbnailThatCannotBeWrittenIsAnErrorNamingIt) {
  test::TempDir folder;
  test::WriteFile(folder / "zoom", "a file where the folder should be");
  std::filesystem::path file = folder / "zoom" / "ABC.jpg";
  try {
    SaveThumbnail(StretchToThumbnail(QImage()), file);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos) << error.what();
  }
  EXPECT_EQ(test::ReadFile(folder / "zoom"), "a file where the folder should be");
}

}  // namespace
}  // namespace kestrova::catalogue
