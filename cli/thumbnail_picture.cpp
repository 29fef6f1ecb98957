#include "thumbnail_picture.h"

#include <cstdio>  // before jpeglib.h, which needs FILE and size_t

#include <jpeglib.h>
#include <filesystem>

#include "media/av_headers.h"
#include "media/fit_picture.h"
#include "media/utils.h"

namespace kestrova::cli {

namespace {

constexpr int kThumbWidth = 120;
constexpr int kThumbHeight = 90;
constexpr uint8_t kMarginRed = 166, kMarginGreen = 202, kMarginBlue = 240;
constexpr int kJpegQuality = 75;  // the codec's default quality

// Writes a BGR bitmap; the file is written under a temporary name and renamed,
// so a failed write never leaves half a thumbnail under the real name.
bool WriteJpeg(const media::Bitmap& bitmap, const std::string& path, std::string& error) {
  std::string partial = path + ".part";
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (!file) {
    error = path + ": cannot write file";
    return false;
  }
  jpeg_compress_struct jpeg{};
  jpeg_error_mgr errors{};
  jpeg.err = jpeg_std_error(&errors);
  jpeg_create_compress(&jpeg);
  jpeg_stdio_dest(&jpeg, file);
  jpeg.image_width = JDIMENSION(bitmap.width);
  jpeg.image_height = JDIMENSION(bitmap.height);
  jpeg.input_components = 3;
  jpeg.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&jpeg);
  jpeg_set_quality(&jpeg, kJpegQuality, TRUE);
  jpeg_start_compress(&jpeg, TRUE);
  while (jpeg.next_scanline < jpeg.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.Row(int(jpeg.next_scanline)));
    jpeg_write_scanlines(&jpeg, &row, 1);
  }
  jpeg_finish_compress(&jpeg);
  jpeg_destroy_compress(&jpeg);
  bool written = std::fflush(file) == 0 && !std::ferror(file);
  written = std::fclose(file) == 0 && written;
  std::error_code renameError;
  if (written) std::filesystem::rename(partial, path, renameError);
  if (!written || renameError) {
    std::filesystem::remove(partial, renameError);
    error = path + ": cannot write file";
    return false;
  }
  return true;
}

}  // namespace

// Seeks like the slider (a seek, then decoding forward until the picture's time
// reaches the target), but backward first: a forward seek lands on the next key
// frame and would show a picture after the time asked for. Demuxers that seek
// by timestamp alone (MPEG-TS) may land just past a key frame, where nothing
// decodes until the next one, so the seek steps further back until a picture
// at or before the target decodes.
bool DecodePictureAt(media::TAVProbe& probe, int64_t target) {
  if (probe.IsStillImage()) return probe.ReadNextFrame();
  for (int64_t back = 0;; back = back ? back * 2 : 500000) {
    int64_t at = target - back;
    if (!probe.SeekTo(AVSEEK_FLAG_BACKWARD, at) && !probe.SeekTo(0, at) && !probe.SeekTo(AVSEEK_FLAG_ANY, at)) {
      return false;
    }
    if (probe.ReadNextFrame() && (probe.CurrentPTS() <= target || at <= 0)) break;
    if (at <= 0) return false;
  }
  while (target > 0 && probe.CurrentPTS() < target) {
    if (!probe.ReadNextFrame()) return false;
  }
  return true;
}

bool SaveThumbnail(media::TAVProbe& probe, int64_t target, const std::string& output, media::Bitmap& picture,
                   std::string& error) {
  media::Bitmap thumbnail;
  if (!DecodePictureAt(probe, target) || !probe.CopyPictureTo(picture)) {
    error = "no picture at " + media::DurationText(target) + ": " + probe.LastErrorMessage();
    return false;
  }
  if (!media::FitBitmap(picture, kThumbWidth, kThumbHeight, kMarginRed, kMarginGreen, kMarginBlue, thumbnail)) {
    error = "cannot scale the picture";
    return false;
  }
  return WriteJpeg(thumbnail, output, error);
}

}  // namespace kestrova::cli
