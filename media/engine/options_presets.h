// The built-in presets: named option texts, one "key=value" per line, as a
// user would write them in a preset file. They were written for an older
// libx264, so their keys pass through TranslatePresetLine on the way in.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace media {

struct TOptionsPreset {
  std::string Name;
  std::string Text;
};

// All 36 presets, in table order.
const std::vector<TOptionsPreset>& BuiltInPresets();

// The preset with that name (compared without regard to case), or nullptr.
const TOptionsPreset* FindBuiltInPreset(const std::string& name);

// Where an old libx264 key goes today.
struct TranslatedOption {
  enum Kind { Generic, EncoderPrivate, X264Params };
  Kind kind;
  std::string name;
  std::string value;
};

// Turns one preset line of the old vocabulary into the options that mean the
// same to today's libx264. Keys that never changed come back unchanged (one
// Generic entry); a key nobody knows also comes back unchanged so that the
// generic path refuses it with the preset error.
std::vector<TranslatedOption> TranslatePresetLine(const std::string& name, const std::string& value);

}  // namespace media
