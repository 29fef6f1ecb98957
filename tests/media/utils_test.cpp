// The shared helpers: fixed text tables, file names, and the ones that need
// the libraries (codec names, picture conversion, named options).
#include <gtest/gtest.h>

#include "media/av_utils.h"
#include "media/bitmap.h"
#include "media/bitmap_converter.h"
#include "media/entry_points.h"
#include "media/fit_picture.h"
#include "media/loader.h"
#include "media/named_options.h"
#include "media/unicode_io.h"
#include "media/utils.h"
#include "process.h"

using namespace media;

namespace {

TEST(UtilsTest, DurationText) {
  const std::pair<int64_t, const char*> table[] = {
      {3723456789LL, "01:02:03.456"}, {3723450000LL, "01:02:03.450"}, {100LL * 3600 * 1000000, "100:00:00.000"},
      {0, "00:00:00.000"},            {999, "00:00:00.000"},          {kNoPts, "N/A"}};
  for (auto [t, text] : table) EXPECT_EQ(DurationText(t), text) << t;
}

TEST(UtilsTest, FrameDuration) {
  EXPECT_EQ(FrameDuration({25, 1}), 40000);
  EXPECT_EQ(FrameDuration({30000, 1001}), 33366);
  EXPECT_EQ(FrameDuration({0, 0}), 40000);
  EXPECT_EQ(FrameDuration({25, 0}), 40000);
}

TEST(UtilsTest, ErrorText) {
  EXPECT_EQ(ErrorText("a.avi", -2), "a.avi: No such file or directory");
  EXPECT_EQ(ErrorText("a.avi", -7), "a.avi: Error number -7 occurred");
  EXPECT_EQ(ErrorText("a.avi", -42), "a.avi: Unknown format");
  EXPECT_EQ(ErrorText("a.avi", -1163346256), "a.avi: Not yet implemented in FFmpeg");
  // Today's codes for the same conditions.
  EXPECT_EQ(ErrorMessage(AVERROR_EOF), "End of file");
  EXPECT_EQ(ErrorMessage(AVERROR_INVALIDDATA), "Invalid data found when processing input");
  EXPECT_EQ(ErrorMessage(AVERROR_DEMUXER_NOT_FOUND), "Unknown format");
  EXPECT_EQ(ErrorMessage(AVERROR_PROTOCOL_NOT_FOUND), "Unsupported network protocol");
}

TEST(UtilsTest, SizeTextThresholds) {
  const std::pair<int64_t, const char*> table[] = {{0, "0 Byte"},
                                                   {1024, "1024 Byte"},
                                                   {1025, "1.00 KB"},
                                                   {1048576, "1024.00 KB"},
                                                   {1048577, "1.00 MB"},
                                                   {1073741824, "1024.00 MB"},
                                                   {1073741825, "1.00 GB"},
                                                   {-1, "-1 Byte"}};
  for (auto [n, text] : table) EXPECT_EQ(SizeText(n), text) << n;
}

TEST(UtilsTest, MediaTypeName) {
  const char* names[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(MediaTypeName(i), names[i]);
  EXPECT_EQ(MediaTypeName(-1), "Unknown");
  EXPECT_EQ(MediaTypeName(5), "Unknown");
}

TEST(UnicodeFileNameTest, PlainPathsPassAndForeignColonNamesAreWrapped) {
  const std::pair<const char*, const char*> table[] = {
      {"/data/中文视频.mp4", "/data/中文视频.mp4"},
      {"clip.mp4", "clip.mp4"},
      {"http://host/a.mp4", "http://host/a.mp4"},
      {"udp://1.2.3.4:5", "udp://1.2.3.4:5"},
      {"file:/tmp/a.mp4", "file:/tmp/a.mp4"},
      {"unicode:utf8:/x.mp4", "unicode:utf8:/x.mp4"},
      {"dir/a:b.mp4", "dir/a:b.mp4"},
      {"a:b.mp4", "unicode:utf8:a:b.mp4"},
      {"视频:1.mp4", "unicode:utf8:视频:1.mp4"},
  };
  for (auto [name, expected] : table) EXPECT_EQ(UnicodeFileName(name), expected) << name;
  EXPECT_EQ(UnicodeFileName(std::string(3000, 'x')), "");
  EXPECT_TRUE(IsUnicodeName("unicode:utf8:a"));
  EXPECT_FALSE(IsUnicodeName("unicode:utf8:"));
  EXPECT_EQ(DecodeFileName("unicode:utf8:视频:1.mp4"), "视频:1.mp4");
  EXPECT_EQ(DecodeFileName("/plain.mp4"), "/plain.mp4");
}

TEST(UtilsTest, ReadWholeFile) {
  kestrova::test::TempDir dir;
  kestrova::test::WriteFile(dir / "a.txt", "hello");
  std::vector<char> buffer;
  int size = 0;
  ASSERT_EQ(ReadWholeFile((dir / "a.txt").string(), buffer, size), 0);
  EXPECT_EQ(size, 6);
  EXPECT_STREQ(buffer.data(), "hello");
  EXPECT_EQ(ReadWholeFile((dir / "missing").string(), buffer, size), -1);
}

TEST(FitRectTest, KeepsTheAspectRatioInsideTheBox) {
  const struct {
    int width, height;
    Rect expected;
  } table[] = {
      {320, 240, {0, 0, 120, 90}},   // same shape: the whole box
      {320, 180, {0, 11, 120, 79}},  // wider: 67.5 rows, inset 11.25 -> 11
      {240, 320, {26, 0, 94, 90}},   // taller: 67.5 columns, inset 26.25 -> 26
      {120, 86, {0, 2, 120, 88}},    // inset exactly 2
      {120, 87, {0, 2, 120, 88}},    // inset 1.5 rounds to even: 2
      {120, 85, {0, 2, 120, 88}},    // inset 2.5 rounds to even: 2
  };
  for (auto& row : table) {
    Rect r = FitRect(row.width, row.height, Rect{0, 0, 120, 90});
    EXPECT_EQ(r.left, row.expected.left) << row.width << "x" << row.height;
    EXPECT_EQ(r.top, row.expected.top) << row.width << "x" << row.height;
    EXPECT_EQ(r.right, row.expected.right) << row.width << "x" << row.height;
    EXPECT_EQ(r.bottom, row.expected.bottom) << row.width << "x" << row.height;
  }
}

class WithLibraries : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(FFmpegLoader().Load(EngineLibraries)) << FFmpegLoader().LastError(); }
};

TEST_F(WithLibraries, CodecNameText) {
  EXPECT_EQ(CodecNameText(AV_CODEC_ID_H264, 0, false), "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
  EXPECT_EQ(CodecNameText(AV_CODEC_ID_MPEG2TS, 0, false), "mpeg2ts");
  uint32_t tag = MKTAG('a', 'b', 'c', 'd');
  EXPECT_EQ(CodecNameText(AV_CODEC_ID_NONE, tag, false), "abcd / 0x64636261");
  EXPECT_EQ(CodecNameText(AV_CODEC_ID_NONE, 0x1f, false), "0x001f");
}

TEST_F(WithLibraries, PictureToBitmapCopiesOrConverts) {
  // A 4x2 BGR24 picture whose rows are exactly the bitmap's: copied as is.
  std::vector<uint8_t> even(12 * 2);
  for (size_t i = 0; i < even.size(); ++i) even[i] = uint8_t(i);
  const uint8_t* data[4] = {even.data()};
  int linesize[4] = {12};
  TBitmapConverter converter;
  ASSERT_TRUE(PictureToBitmap(converter, data, linesize, AV_PIX_FMT_BGR24, 2, 4));
  EXPECT_EQ(converter.buffer, nullptr);
  EXPECT_EQ(converter.bitmap->Row(1)[0], 12);

  // Odd width: always through the scaler, same pixels out.
  std::vector<uint8_t> odd(9 * 2, 200);
  const uint8_t* oddData[4] = {odd.data()};
  int oddLinesize[4] = {9};
  ASSERT_TRUE(PictureToBitmap(converter, oddData, oddLinesize, AV_PIX_FMT_BGR24, 2, 3));
  EXPECT_NE(converter.toRGB, nullptr);
  EXPECT_EQ(converter.bitmap->width, 3);
  EXPECT_EQ(converter.bitmap->stride, 12);
  EXPECT_NEAR(converter.bitmap->Row(1)[8], 200, 2);
  ResetConverter(converter);
  EXPECT_EQ(converter.bitmap, nullptr);
  EXPECT_EQ(converter.toRGB, nullptr);
}

TEST_F(WithLibraries, NamedOptionsAreRecordedAndApplied) {
  TOptionContexts contexts;
  ASSERT_TRUE(contexts.Create(SWS_BICUBIC));
  EXPECT_TRUE(SetNamedOption(contexts, " g ", "250"));
  EXPECT_TRUE(SetNamedOption(contexts, "ab", "64000"));  // "a" + the codec option "b"
  EXPECT_FALSE(SetNamedOption(contexts, "no_such_option", "1"));
  EXPECT_FALSE(SetNamedOption(contexts, "g", " "));
  EXPECT_FALSE(SetNamedOption(contexts, "g", "not-a-number"));
  EXPECT_EQ(contexts.names, (std::vector<std::string>{"g", "ab"}));
  EXPECT_EQ(contexts.codec[0]->gop_size, 250);

  AVCodecContext* target = Av().avcodec_alloc_context3(nullptr);
  ApplyNamedOptions(contexts, target, contexts.codec[0].get(), AV_OPT_FLAG_VIDEO_PARAM);
  EXPECT_EQ(target->gop_size, 250);
  Av().avcodec_free_context(&target);
}

TEST_F(WithLibraries, UnicodeIoWritesAnewReadsAndReportsItsSize) {
  kestrova::test::TempDir dir;
  std::string name = "unicode:utf8:" + (dir / "输出:1.bin").string();
  kestrova::test::WriteFile(dir / "输出:1.bin", "old content that must go");
  AVIOContext* io = nullptr;
  ASSERT_EQ(OpenUnicodeIo(name, AVIO_FLAG_WRITE, &io), 0);
  Av().avio_write(io, reinterpret_cast<const unsigned char*>("hello"), 5);
  CloseUnicodeIo(&io);
  EXPECT_EQ(io, nullptr);
  EXPECT_EQ(kestrova::test::ReadFile(dir / "输出:1.bin"), "hello");

  ASSERT_EQ(OpenUnicodeIo(name, AVIO_FLAG_READ, &io), 0);
  EXPECT_TRUE(IsUnicodeIo(io));
  EXPECT_EQ(Av().avio_size(io), 5);
  unsigned char buffer[8] = {};
  EXPECT_EQ(Av().avio_read(io, buffer, 8), 5);
  EXPECT_TRUE(Av().avio_feof(io));
  CloseUnicodeIo(&io);

  EXPECT_EQ(OpenUnicodeIo("unicode:utf8:" + (dir / "missing").string(), AVIO_FLAG_READ, &io), -2);
  EXPECT_EQ(io, nullptr);
}

}  // namespace
