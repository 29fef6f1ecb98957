// The picture deinterlacer on hand-made planes: combing goes, flat and
// vertically smooth pictures stay, unusable pictures are refused.
#include <gtest/gtest.h>

#include <vector>

#include "media/engine/deinterlace.h"

namespace {

// A plane whose rows alternate between two levels: the two fields of a
// moving edge, caught at different times.
std::vector<uint8_t> CombedPlane(int width, int height, int stride, uint8_t top, uint8_t bottom) {
  std::vector<uint8_t> plane(static_cast<size_t>(stride) * height, 0xEE);  // padding stays untouched
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) plane[static_cast<size_t>(stride) * y + x] = y % 2 ? bottom : top;
  return plane;
}

TEST(Deinterlace, BottomFieldTakesTheTopFieldsLevelAndPaddingIsKept) {
  std::vector<uint8_t> scratch;
  auto plane = CombedPlane(8, 6, 16, 16, 235);
  ASSERT_TRUE(media::DeinterlacePlane(plane.data(), 16, 8, 6, scratch));
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(plane[16 * y + x], 16) << y << "," << x;
    for (int x = 8; x < 16; ++x) EXPECT_EQ(plane[16 * y + x], 0xEE);
  }
}

TEST(Deinterlace, FlatAndVerticalRampPlanesStayAsTheyWere) {
  std::vector<uint8_t> scratch;
  auto flat = CombedPlane(5, 7, 5, 90, 90);
  ASSERT_TRUE(media::DeinterlacePlane(flat.data(), 5, 5, 7, scratch));
  for (uint8_t v : flat) EXPECT_EQ(v, 90);

  std::vector<uint8_t> ramp(4 * 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 4; ++x) ramp[4 * y + x] = static_cast<uint8_t>(20 + 10 * y);
  const auto before = ramp;
  ASSERT_TRUE(media::DeinterlacePlane(ramp.data(), 4, 4, 10, scratch));
  // Inside the picture a straight ramp is its own interpolation; only the
  // lines next to the edges, whose outer neighbours are clamped, may move.
  for (int y = 2; y < 9; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(ramp[4 * y + x], before[4 * y + x]) << y;
}

TEST(Deinterlace, PictureCoversEveryPlaneWithItsSubsampledSize) {
  std::vector<uint8_t> scratch;
  auto luma = CombedPlane(8, 8, 8, 16, 235);
  auto cb = CombedPlane(4, 4, 4, 100, 200);
  auto cr = CombedPlane(4, 4, 4, 60, 180);
  uint8_t* data[4] = {luma.data(), cb.data(), cr.data(), nullptr};
  const int linesize[4] = {8, 4, 4, 0};
  ASSERT_TRUE(media::DeinterlacePicture(data, linesize, 8, 8, 3, 1, 1, scratch));
  EXPECT_EQ(luma[8 * 3], 16);
  EXPECT_EQ(cb[4 * 1], 100);
  EXPECT_EQ(cr[4 * 3], 60);
}

TEST(Deinterlace, RefusesPicturesWithoutTwoFields) {
  std::vector<uint8_t> scratch;
  std::vector<uint8_t> line(8, 1);
  EXPECT_FALSE(media::DeinterlacePlane(line.data(), 8, 8, 1, scratch));
  EXPECT_FALSE(media::DeinterlacePlane(nullptr, 8, 8, 4, scratch));
  uint8_t* data[4] = {line.data(), nullptr, nullptr, nullptr};
  const int linesize[4] = {8, 0, 0, 0};
  EXPECT_FALSE(media::DeinterlacePicture(data, linesize, 8, 1, 1, 0, 0, scratch));
  EXPECT_FALSE(media::DeinterlacePicture(data, linesize, 8, 4, 4, 0, 0, scratch));  // alpha plane
}

}  // namespace
