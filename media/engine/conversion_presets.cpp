#include "media/engine/conversion_presets.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <map>

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

void AddUserOptions(TOutputOptions& o, const std::vector<std::string>& lines) {
  using Yield = std::function<void(TOutputOptions&, const std::string&)>;
  static const std::map<std::string, Yield> fieldFor = {
      // The default preset is written for libx264 alone.
      {"vcodec",
       [](TOutputOptions& r, const std::string& v) {
         r.VideoCodec.clear();
         if (v != "libx264") r.VideoPreset.clear();
       }},
      // A target sets its own codecs, size, rate and bit rates.
      {"target",
       [](TOutputOptions& r, const std::string&) {
         r.VideoCodec.clear();
         r.VideoPreset.clear();
         r.AudioCodec.clear();
         r.AudioSampleRate = -1;
         r.AudioBitrate = -1;
         r.FrameRate.clear();
         r.FrameSize.clear();
         r.VideoBitrate = -1;
       }},
      {"acodec", [](TOutputOptions& r, const std::string&) { r.AudioCodec.clear(); }},
      {"scodec", [](TOutputOptions& r, const std::string&) { r.SubtitleCodec.clear(); }},
      {"vpre", [](TOutputOptions& r, const std::string&) { r.VideoPreset.clear(); }},
      {"apre", [](TOutputOptions& r, const std::string&) { r.AudioPreset.clear(); }},
      {"spre", [](TOutputOptions& r, const std::string&) { r.SubtitlePreset.clear(); }},
      {"f", [](TOutputOptions& r, const std::string&) { r.FileFormat.clear(); }},
      {"r", [](TOutputOptions& r, const std::string&) { r.FrameRate.clear(); }},
      {"s", [](TOutputOptions& r, const std::string&) { r.FrameSize.clear(); }},
      {"aspect", [](TOutputOptions& r, const std::string&) { r.FrameAspectRatio.clear(); }},
      {"vfilters", [](TOutputOptions& r, const std::string&) { r.VideoFilters.clear(); }},
      {"b", [](TOutputOptions& r, const std::string&) { r.VideoBitrate = -1; }},
      {"vb", [](TOutputOptions& r, const std::string&) { r.VideoBitrate = -1; }},
      {"ab", [](TOutputOptions& r, const std::string&) { r.AudioBitrate = -1; }},
      {"ar", [](TOutputOptions& r, const std::string&) { r.AudioSampleRate = -1; }},
      {"ac", [](TOutputOptions& r, const std::string&) { r.AudioChannels = -1; }},
      {"g", [](TOutputOptions& r, const std::string&) { r.GroupPictureSize = -1; }},
      {"maxrate", [](TOutputOptions& r, const std::string&) { r.VideoMaxRate = -1; }},
      {"minrate", [](TOutputOptions& r, const std::string&) { r.VideoMinRate = -1; }},
      {"bufsize", [](TOutputOptions& r, const std::string&) { r.VideoBufferSize = -1; }},
      {"t", [](TOutputOptions& r, const std::string&) { r.Duration = kNoTime; }},
      {"timestamp", [](TOutputOptions& r, const std::string&) { r.Info.Timestamp = -1; }},
      // Fields applied whatever they hold: they take the typed value.
      {"alang", [](TOutputOptions& r, const std::string& v) { r.AudioLanguage = v; }},
      {"vlang", [](TOutputOptions& r, const std::string& v) { r.VideoLanguage = v; }},
      {"slang", [](TOutputOptions& r, const std::string& v) { r.SubtitleLanguage = v; }},
      {"isync", [](TOutputOptions& r, const std::string& v) { r.InputSync = v != "0"; }},
      {"padcolor",
       [](TOutputOptions& r, const std::string& v) { r.PadColor = static_cast<uint32_t>(std::strtoll(v.c_str(), nullptr, 10)); }},
      {"vsync", [](TOutputOptions& r, const std::string& v) { r.VideoSyncMethod = std::atoi(v.c_str()); }},
      {"async", [](TOutputOptions& r, const std::string& v) { r.AudioSyncMethod = std::atoi(v.c_str()); }},
  };
  for (const std::string& line : lines) {
    const size_t eq = line.find('=');
    std::string name = line.substr(0, eq);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (auto hit = fieldFor.find(name); hit != fieldFor.end()) hit->second(o, value);
    o.ExtOptions += line + "\n";
  }
}

}  // namespace media
