// kestrova-cli thumbnail FILE --at HH:MM:SS.mmm -o OUT.jpg: takes the picture at
// a time the way the conversion options dialog's slider does (seek, then
// decode forward to the time) and saves it fitted into 120 x 90 on the
// dialog's margin colour, as a JPEG.
#include <cstdio>  // before jpeglib.h, which needs FILE and size_t

#include <jpeglib.h>
#include <filesystem>
#include <iostream>

#include "command.h"
#include "media/entry_points.h"
#include "media/fit_picture.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"

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

int RunThumbnail(const std::vector<std::string>& words) {
  // "-o OUT" is the usual spelling; "--output OUT" works too.
  std::vector<std::string> rest;
  std::string output;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "-o" && i + 1 < words.size()) {
      output = words[++i];
    } else {
      rest.push_back(words[i]);
    }
  }
  Arguments args(rest);
  if (output.empty()) output = args.value("output");
  if (args.positionals().size() != 1 || output.empty() || !args.has("at")) {
    std::cerr << "usage: kestrova-cli thumbnail FILE --at HH:MM:SS.mmm -o OUT.jpg\n";
    return 2;
  }
  media::TFFLogger logger;
  logger.SetLogLevel(media::llQuiet);
  if (!media::FFmpegLoader().Load(media::EngineLibraries)) {
    std::cerr << "kestrova-cli thumbnail: " << media::FFmpegLoader().LastError() << "\n";
    return 1;
  }
  int64_t target = 0;
  std::string at = args.value("at");
  if (at.empty() || media::Av().av_parse_time(&target, at.c_str(), 1) < 0 || target < 0) {
    std::cerr << "kestrova-cli thumbnail: invalid time \"" << at << "\" (expected HH:MM:SS.mmm)\n";
    return 2;
  }
  media::TAVProbe probe;
  if (!probe.OpenFile(args.positionals()[0])) {
    std::cerr << "kestrova-cli thumbnail: " << probe.LastErrorMessage() << "\n";
    return 1;
  }
  media::Bitmap picture, thumbnail;
  if (!DecodePictureAt(probe, target) || !probe.CopyPictureTo(picture)) {
    std::cerr << "kestrova-cli thumbnail: no picture at " << media::DurationText(target) << ": "
              << probe.LastErrorMessage() << "\n";
    return 1;
  }
  if (!media::FitBitmap(picture, kThumbWidth, kThumbHeight, kMarginRed, kMarginGreen, kMarginBlue, thumbnail)) {
    std::cerr << "kestrova-cli thumbnail: cannot scale the picture\n";
    return 1;
  }
  std::string error;
  if (!WriteJpeg(thumbnail, output, error)) {
    std::cerr << "kestrova-cli thumbnail: " << error << "\n";
    return 1;
  }
  std::cout << output << ": " << picture.width << "x" << picture.height << " @ "
            << media::DurationText(probe.CurrentPTS()) << "\n";
  return 0;
}

const CommandRegistrar kRegistrar({"thumbnail", "thumbnail FILE --at HH:MM:SS.mmm -o OUT.jpg", RunThumbnail});

}  // namespace
}  // namespace kestrova::cli
