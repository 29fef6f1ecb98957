#include "media/engine/conversion_presets.h"

#include <stdexcept>

namespace media {

namespace {

constexpr QualityPreset kPresets[kQualityPresetCount] = {
    {"小视频(176*144 48Kbps)", 48, "176x144"},
    {"标清(320*240 120Kbps)", 120, "320x240"},
    {"标清(400*300 256Kbps)", 256, "400x300"},
    {"标清(480*360 384Kbps)", 384, "480x360"},
    {"高清(640*480 512Kbps)", 512, "640x480"},
    {"高清（800*600 768Kbps）", 768, "800x600"},
    {"超高清（640*480 1024Kbps）", 1024, "640x480"},
    {"超高清（800*600 1280Kbps）", 1280, "800x600"},
    {"超高清（1024*768 1536Kbps）", 1536, "1024x768"},
    {"根据下方参数自行选择", 0, ""},
};

}  // namespace

TOutputOptions ConversionDefaults() {
  TOutputOptions out;
  InitOutputOptions(out);
  out.FileExt = ".mp4";
  out.AudioSampleRate = 22050;
  out.FrameSize = kPresets[1].frameSize;
  out.FrameRate = "15";
  out.VideoBitrate = kPresets[1].videoKbits * 1000;
  out.VideoCodec = "libx264";
  out.VideoPreset = "libx264-default";
  // The engine maps the old encoder name onto the AAC encoder the installed
  // libraries have.
  out.AudioCodec = "libfaac";
  out.CopyTimestamp = true;
  out.Info.Timestamp = 0;  // the engine stamps the output with the current time
  out.DisableSubtitle = true;
  return out;
}

const QualityPreset& QualityPresetAt(int n) {
  if (n < 0 || n >= kQualityPresetCount)
    throw std::out_of_range("quality preset " + std::to_string(n) + " does not exist (0 to 9)");
  return kPresets[n];
}

void ApplyQualityPreset(int n, TOutputOptions& options) {
  const QualityPreset& preset = QualityPresetAt(n);
  if (n == kUserChosenQuality) return;
  options.VideoBitrate = preset.videoKbits * 1000;
  options.FrameSize = preset.frameSize;
}

}  // namespace media
