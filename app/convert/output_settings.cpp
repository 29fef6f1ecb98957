#include "output_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <optional>

namespace kestrova::convert {

namespace {

std::optional<int> ReadInteger(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || text.empty()) return std::nullopt;
  return value;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

bool RangeApplies(const OptionDialogChoices& c) {
  return c.chkCutClipEnabled && c.chkCutClipChecked && c.clipStart < c.clipEnd;
}

std::string OutputFileName(const OptionDialogChoices& c, const std::string& fileExt) {
  namespace fs = std::filesystem;
  const std::string first = c.edtOutPath + c.thumbName + fileExt;
  std::error_code error;
  if (c.chkOverwrite || !fs::exists(first, error)) return first;
  const std::string stem = c.edtOutPath + fs::path(c.probeFileName).stem().string();
  for (int n = 1;; ++n) {
    std::string candidate = stem + "_(new_" + std::to_string(n) + ")" + fileExt;
    if (!fs::exists(candidate, error)) return candidate;
  }
}

media::TOutputOptions getOutputOptions(const OptionDialogChoices& c) {
  media::TOutputOptions o;
  media::InitOutputOptions(o);
  o.FileExt = "." + Lower(c.grpFormats);
  if (c.grpAudioChannelsIndex > 0) o.AudioChannels = c.grpAudioChannelsIndex;
  if (c.grpAudioSampleRateIndex > 0) o.AudioSampleRate = ReadInteger(c.grpAudioSampleRate).value_or(22050);
  if (c.chkAudioVolume) o.AudioVolume = ReadInteger(c.edtAudioVolume).value_or(-1);
  if (c.cboFrameSizeIndex > 0) o.FrameSize = c.cboFrameSize.substr(0, c.cboFrameSize.find(' '));
  if (c.grpFrameRateIndex > 0) o.FrameRate = c.grpFrameRate;
  if (c.grpAspectRatioIndex > 0) o.FrameAspectRatio = c.grpAspectRatio;
  if (c.chkVideoBitRate) o.VideoBitrate = ReadInteger(c.edtVideoBitRate).value_or(200) * 1000;
  if (c.chkAudioBitRate) o.AudioBitrate = ReadInteger(c.edtAudioBitRate).value_or(64) * 1000;
  o.VideoCodec = "lib" + Lower(c.grpVideoCodec);
  o.VideoPreset = "libx264-default";
  o.AudioCodec = "libfaac";
  if (RangeApplies(c)) o.Duration = c.clipEnd - c.clipStart;
  o.CustomHook = c.rdoCustomHook;
  o.CopyTimestamp = c.chkCopyTimestamp;
  o.Info.Timestamp = 0;
  o.FileName = OutputFileName(c, o.FileExt);
  o.DisableSubtitle = true;
  return o;
}

media::TInputOptions getInputOptions(const OptionDialogChoices& c) {
  media::TInputOptions i;
  media::InitInputOptions(i);
  i.FileName = c.probeFileName;
  i.FileFormat = c.probeForcedFormat;
  if (RangeApplies(c)) i.StartTime = c.clipStart;
  return i;
}

}  // namespace kestrova::convert
