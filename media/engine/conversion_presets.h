// What "convert for the web" means when nobody changes a setting, and the
// quality presets a user picks from: one table for the desktop tool's
// options dialog and for kestrova-cli, so both always convert alike.
#pragma once

#include <array>

#include "media/engine/engine_records.h"

namespace media {

// A fixed quality preset: its item in the dialog's list, the video bit rate,
// and the frame size it selects (with that size's place in the dialog's
// frame-size list).
struct QualityPreset {
  const char* item;
  int videoKbits;
  const char* frameSize;
  int frameSizeItem;
};

// Presets 0 to 8 in list order. The last item, kUserChosenPreset, leaves bit
// rate and frame size to the user.
inline constexpr int kUserChosenPreset = 9;
const std::array<QualityPreset, 9>& QualityPresets();
const char* UserChosenPresetItem();

// The output record of the options dialog left as it opens (the same as
// preset 1): MP4, H.264 with the "libx264-default" preset at 320x240, 15
// pictures/s and 120 kbit/s, AAC ("libfaac") at 22050 Hz, source timestamps
// kept, no subtitles, stamped with the current time. Range and file name are
// the caller's.
TOutputOptions DialogOutputDefaults();

// Presets 0 to 8 set the video bit rate and frame size, 9 changes nothing;
// false (and nothing changed) for any other number.
bool ApplyQualityPreset(int preset, TOutputOptions& options);

}  // namespace media
