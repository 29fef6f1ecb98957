// The conversion settings a user gets without touching anything: the output
// record as the options dialog fills it when it opens, and the dialog's
// quality presets 0-9. Shared by the dialogs, kestrova-cli and the tests.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "media/engine/engine_records.h"

namespace media {

// One fixed quality preset: the drop-down item, the video bit rate and the
// frame size it selects (with that size's index in the frame-size list).
struct QualityPreset {
  const char* item;
  int videoKbits;
  const char* frameSize;
  int frameSizeItem;
};

// Presets 0 to 8 in drop-down order; preset 9, kUserChosenPreset, leaves the
// bit rate and frame size to the user.
inline constexpr int kUserChosenPreset = 9;
const std::array<QualityPreset, 9>& QualityPresets();
// The item text of preset 9.
const char* UserChosenPresetItem();

// The output record the options dialog gives for a file when nothing is
// changed: MP4, H.264 ("libx264" with "libx264-default") 320x240 at 15 fps
// and 120 kbit/s, AAC ("libfaac") at 22050 Hz, timestamps copied, stamped
// with the current time, no subtitles. The range and the file name are the
// caller's.
TOutputOptions DialogOutputDefaults();

// Presets 0-8 set the video bit rate and frame size; 9 leaves both. False
// (and nothing changed) for any other number.
bool ApplyQualityPreset(int preset, TOutputOptions& options);

// Adds "name=value" lines a user typed to the record's extra options so that
// they win: the engine applies the record's fields after the extra options of
// the same kind, so a field that would set the same thing again (the dialog's
// "libx264-default" preset for "vpre", its 15 fps for "r", ...) is left unset,
// or, for the fields applied whatever they hold (sync methods, languages,
// pad colour, input sync), takes the value. A target drops the codecs, size,
// rate and bit rates of the dialog, a video codec other than libx264 drops
// its libx264 preset, and a typed timestamp the stamp with the current time.
void AddUserOptions(TOutputOptions& options, const std::vector<std::string>& lines);

}  // namespace media
