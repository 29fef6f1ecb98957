#include "output_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "media/engine/conversion_presets.h"

namespace kestrova::convert {

namespace fs = std::filesystem;

namespace {

// Falls back for unreadable numbers, including ones too large for the record.
constexpr int kFallbackSampleRate = 22050;
constexpr int kFallbackVideoKbits = 200;
constexpr int kFallbackAudioKbits = 64;

// A whole decimal number with an optional sign, nothing around it.
int IntegerOr(const std::string& text, int fallback) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  int value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  return (first != last && error == std::errc() && end == last) ? value : fallback;
}

// kbit/s to bit/s; a value whose bit rate does not fit falls back too.
int BitsPerSecond(const std::string& kbits, int fallbackKbits) {
  const int value = IntegerOr(kbits, fallbackKbits);
  if (value > INT32_MAX / 1000 || value < INT32_MIN / 1000) return fallbackKbits * 1000;
  return value * 1000;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

bool RangeApplies(const OptionFields& f) { return f.cutClipEnabled && f.cutClipChecked && f.clipStart < f.clipEnd; }

media::TInputOptions getInputOptions(const OptionFields& f) {
  media::TInputOptions in;
  media::InitInputOptions(in);
  in.FileName = f.inputFileName;
  in.FileFormat = f.inputForcedFormat;
  if (RangeApplies(f)) in.StartTime = f.clipStart;
  return in;
}

media::TOutputOptions getOutputOptions(const OptionFields& f) {
  // The codecs, the encoder preset and the fixed flags come from the shared
  // defaults; every field a control decides is set here from that control.
  media::TOutputOptions out = media::DialogOutputDefaults();
  out.FileExt = "." + Lower(f.format.text);
  out.AudioChannels = f.audioChannels.index > 0 ? f.audioChannels.index : -1;
  out.AudioSampleRate = f.audioSampleRate.index > 0 ? IntegerOr(f.audioSampleRate.text, kFallbackSampleRate) : -1;
  out.AudioVolume = f.audioVolumeChecked ? IntegerOr(f.audioVolume, -1) : -1;
  out.FrameSize = f.frameSize.index > 0 ? f.frameSize.text.substr(0, f.frameSize.text.find(' ')) : "";
  out.FrameRate = f.frameRate.index > 0 ? f.frameRate.text : "";
  out.FrameAspectRatio = f.aspectRatio.index > 0 ? f.aspectRatio.text : "";
  out.VideoBitrate = f.videoBitRateChecked ? BitsPerSecond(f.videoBitRate, kFallbackVideoKbits) : -1;
  out.AudioBitrate = f.audioBitRateChecked ? BitsPerSecond(f.audioBitRate, kFallbackAudioKbits) : -1;
  out.Duration = RangeApplies(f) ? f.clipEnd - f.clipStart : media::kNoTime;
  out.CustomHook = false;
  out.FileName = OutputFileName(f.outputFolder, f.thumbName, out.FileExt, f.inputFileName);
  return out;
}

std::string OutputFileName(const std::string& folder, const std::string& thumbName, const std::string& ext,
                           const std::string& inputFileName) {
  const fs::path first = fs::path(folder) / (thumbName + ext);
  std::error_code ec;
  if (!fs::exists(first, ec)) return first.string();
  const std::string stem = fs::path(inputFileName).stem().string();
  for (int n = 1;; ++n) {
    const fs::path candidate = fs::path(folder) / (stem + "_(new_" + std::to_string(n) + ")" + ext);
    if (!fs::exists(candidate, ec)) return candidate.string();
  }
}

}  // namespace kestrova::convert
