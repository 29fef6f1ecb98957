#include "media/engine/conversion_presets.h"

namespace media {

const std::array<QualityPreset, 9>& QualityPresets() {
  static const std::array<QualityPreset, 9> presets = {{
      {"小视频(176*144 48Kbps)", 48, "176x144", 2},
      {"标清(320*240 120Kbps)", 120, "320x240", 6},
      {"标清(400*300 256Kbps)", 256, "400x300", 7},
      {"标清(480*360 384Kbps)", 384, "480x360", 8},
      {"高清(640*480 512Kbps)", 512, "640x480", 9},
      {"高清（800*600 768Kbps）", 768, "800x600", 10},
      {"超高清（640*480 1024Kbps）", 1024, "640x480", 9},
      {"超高清（800*600 1280Kbps）", 1280, "800x600", 10},
      {"超高清（1024*768 1536Kbps）", 1536, "1024x768", 11},
  }};
  return presets;
}

const char* UserChosenPresetItem() { return "根据下方参数自行选择"; }

TOutputOptions DialogOutputDefaults() {
  TOutputOptions out;
  InitOutputOptions(out);
  out.FileExt = ".mp4";
  out.AudioSampleRate = 22050;
  out.FrameSize = "320x240";
  out.FrameRate = "15";
  out.VideoBitrate = 120 * 1000;
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

bool ApplyQualityPreset(int preset, TOutputOptions& options) {
  if (preset < 0 || preset > kUserChosenPreset) return false;
  if (preset == kUserChosenPreset) return true;
  options.VideoBitrate = QualityPresets()[static_cast<size_t>(preset)].videoKbits * 1000;
  options.FrameSize = QualityPresets()[static_cast<size_t>(preset)].frameSize;
  return true;
}

}  // namespace media
