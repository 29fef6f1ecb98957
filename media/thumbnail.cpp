#include "media/thumbnail.h"

#include "media/entry_points.h"
#include "media/fit_picture.h"

namespace media {

namespace {
// The options dialog's margin colour around a picture that does not fill the box.
constexpr uint8_t kMarginRed = 166, kMarginGreen = 202, kMarginBlue = 240;
}  // namespace

bool ParseTimeText(const std::string& text, int64_t& microseconds) {
  int64_t parsed = 0;
  if (text.empty() || Av().av_parse_time == nullptr || Av().av_parse_time(&parsed, text.c_str(), 1) < 0 || parsed < 0)
    return false;
  microseconds = parsed;
  return true;
}

// Seeks like the slider (a seek, then decoding forward until the picture's time
// reaches the target), but backward first: a forward seek lands on the next key
// frame and would show a picture after the time asked for. Demuxers that seek
// by timestamp alone (MPEG-TS) may land just past a key frame, where nothing
// decodes until the next one, so the seek steps further back until a picture
// at or before the target decodes.
bool DecodePictureAt(TAVProbe& probe, int64_t target) {
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

bool FitThumbnail(const Bitmap& picture, Bitmap& thumbnail, double sampleAspect) {
  return FitBitmap(picture, kThumbnailWidth, kThumbnailHeight, kMarginRed, kMarginGreen, kMarginBlue, thumbnail,
                   sampleAspect);
}

}  // namespace media
