#include "option_fields.h"

#include <stdexcept>

#include "media/engine/conversion_presets.h"
#include "option_items.h"

namespace kestrova::convert {

namespace {
template <size_t N>
Choice ChoiceOf(const std::array<const char*, N>& items, int index) {
  return {index, index >= 0 ? items[index] : ""};
}
}  // namespace

OptionFields DefaultOptionFields() {
  // The controls start where the shared conversion defaults say, so the
  // dialog and kestrova-cli cannot drift apart.
  const media::TOutputOptions defaults = media::DialogOutputDefaults();
  OptionFields f;
  f.format = ChoiceOf(kFormatItems, 0);
  f.audioChannels = ChoiceOf(kAudioChannelItems, 0);
  f.audioSampleRate =
      ChoiceOf(kAudioSampleRateItems, ItemIndexOf(kAudioSampleRateItems, std::to_string(defaults.AudioSampleRate)));
  f.audioVolume = "256";  // "256=normal"
  f.frameSize = ChoiceOf(kFrameSizeItems, FrameSizeItemOf(defaults.FrameSize));
  f.frameRate = ChoiceOf(kFrameRateItems, ItemIndexOf(kFrameRateItems, defaults.FrameRate));
  f.aspectRatio = ChoiceOf(kAspectRatioItems, 0);
  f.videoBitRateChecked = true;
  f.videoBitRate = std::to_string(defaults.VideoBitrate / 1000);
  f.audioBitRate = "64";
  return f;
}

void ChooseQualityPreset(int n, OptionFields& fields) {
  if (n < 0 || n > media::kUserChosenPreset)
    throw std::out_of_range("quality preset " + std::to_string(n) + " does not exist (0 to 9)");
  if (n == media::kUserChosenPreset) return;
  const media::QualityPreset& preset = media::QualityPresets()[static_cast<size_t>(n)];
  fields.videoBitRateChecked = true;
  fields.videoBitRate = std::to_string(preset.videoKbits);
  fields.frameSize = ChoiceOf(kFrameSizeItems, preset.frameSizeItem);
}

}  // namespace kestrova::convert
