// What "convert for the web" means when nobody changes a setting, and the
// quality presets a user picks from: one table for the desktop tool's
// options dialog and for kestrova-cli, so both always convert alike.
#pragma once

#include <string>

#include "media/engine/engine_records.h"

namespace media {

// The output record of the options dialog left as it opens (the same as
// quality preset 1): MP4, H.264 with the "libx264-default" preset at 320x240,
// 15 pictures/s and 120 kbit/s, AAC at 22050 Hz, source timestamps kept, no
// subtitles, stamped with the current time. FileName is left empty.
TOutputOptions ConversionDefaults();

inline constexpr int kQualityPresetCount = 10;
// The last preset leaves bit rate and frame size to the user.
inline constexpr int kUserChosenQuality = 9;

struct QualityPreset {
  const char* caption;    // the item of the dialog's list
  int videoKbits;         // 0 for the user's own choice
  const char* frameSize;  // "WxH"; empty for the user's own choice
};

// Preset n, 0 to 9; throws std::out_of_range for any other n.
const QualityPreset& QualityPresetAt(int n);

// Sets the video bit rate and frame size of preset n (the user's own choice
// changes nothing); throws std::out_of_range like QualityPresetAt.
void ApplyQualityPreset(int n, TOutputOptions& options);

}  // namespace media
