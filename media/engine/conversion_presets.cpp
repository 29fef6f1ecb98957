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
  TOutputOptions o;
  InitOutputOptions(o);
  o.FileExt = ".mp4";
  o.AudioSampleRate = 22050;
  o.FrameSize = "320x240";
  o.FrameRate = "15";
  o.VideoBitrate = 120 * 1000;
  o.VideoCodec = "libx264";
  o.VideoPreset = "libx264-default";
  o.AudioCodec = "libfaac";
  o.CopyTimestamp = true;
  o.Info.Timestamp = 0;
  o.DisableSubtitle = true;
  return o;
}

bool ApplyQualityPreset(int preset, TOutputOptions& options) {
  if (preset < 0 || preset > kUserChosenPreset) return false;
  if (preset == kUserChosenPreset) return true;
  const QualityPreset& p = QualityPresets()[preset];
  options.VideoBitrate = p.videoKbits * 1000;
  options.FrameSize = p.frameSize;
  return true;
}

}  // namespace media
