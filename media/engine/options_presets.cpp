#include "media/engine/options_presets.h"

#include <strings.h>

#include <array>

namespace media {

namespace {

// One row of the table; an empty cell means the key is absent.
struct PresetRow {
  const char* name;
  const char* coder;
  const char* flags;
  const char* partitions;
  const char* me_method;
  const char* subq;
  const char* me_range;
  const char* sc_threshold;
  const char* b_strategy;
  const char* bf;
  const char* refs;
  const char* directpred;
  const char* trellis;
  const char* flags2;
  const char* wpredp;
  const char* cqp;
  const char* level;
  const char* maxrate;
  const char* bufsize;
};

constexpr const char* kP1 = "+parti8x8+parti4x4+partp8x8+partb8x8";
constexpr const char* kP0 = "-parti8x8-parti4x4-partp8x8-partb8x8";
constexpr const char* kPAll = "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8";

// clang-format off
const PresetRow kRows[] = {
  {"libx264-baseline", "0", "", "", "", "", "", "", "", "0", "", "", "", "-wpred-dct8x8", "0", "", "", "", ""},
  {"libx264-default", "1", "+loop", kP1, "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+mixed_refs+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-fast", "1", "+loop", kP1, "hex", "6", "16", "40", "1", "3", "2", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-fast_firstpass", "1", "+loop", kP0, "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-faster", "1", "+loop", kP1, "hex", "4", "16", "40", "1", "3", "2", "1", "1", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip", "1", "", "", "", ""},
  {"libx264-faster_firstpass", "1", "+loop", kP0, "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "1", "", "", "", ""},
  {"libx264-fastfirstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "2", "16", "40", "1", "3", "1", "3", "0", "-bpyramid-wpred-mixed_refs-dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-hq", "1", "+loop", kP1, "umh", "8", "16", "40", "2", "3", "4", "3", "1", "+wpred+mixed_refs+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-ipod320", "0", "", "", "", "", "", "", "", "0", "", "", "", "-wpred-dct8x8", "0", "", "13", "768000", "3000000"},
  {"libx264-ipod640", "0", "", "", "", "", "", "", "", "0", "1", "", "", "-wpred-dct8x8", "0", "", "30", "10000000", "10000000"},
  {"libx264-lossless_fast", "0", "+loop", "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8", "hex", "3", "16", "40", "1", "", "", "1", "", "+fastpskip", "0", "0", "", "", ""},
  {"libx264-lossless_max", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "esa", "8", "16", "40", "1", "", "16", "1", "", "+mixed_refs+dct8x8+fastpskip", "2", "0", "", "", ""},
  {"libx264-lossless_medium", "1", "+loop", "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "hex", "5", "16", "40", "1", "", "", "1", "", "+fastpskip", "2", "0", "", "", ""},
  {"libx264-lossless_slow", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "6", "16", "40", "1", "", "2", "1", "", "+dct8x8+fastpskip", "2", "0", "", "", ""},
  {"libx264-lossless_slower", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "8", "16", "40", "1", "", "4", "1", "", "+mixed_refs+dct8x8+fastpskip", "2", "0", "", "", ""},
  {"libx264-lossless_ultrafast", "0", "+loop", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "0", "16", "40", "1", "", "", "1", "", "+fastpskip", "", "0", "", "", ""},
  {"libx264-main", "", "", "", "", "", "", "", "", "", "", "", "", "-dct8x8", "", "", "", "", ""},
  {"libx264-max", "1", "+loop", kPAll, "tesa", "10", "24", "40", "2", "3", "16", "3", "2", "+wpred+mixed_refs+dct8x8-fastpskip", "2", "", "", "", ""},
  {"libx264-medium", "1", "+loop", kP1, "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-medium_firstpass", "1", "+loop", kP0, "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-normal", "1", "+loop", kP1, "hex", "6", "16", "40", "1", "3", "2", "3", "0", "+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-placebo", "1", "+loop", kPAll, "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "2", "", "", "", ""},
  {"libx264-placebo_firstpass", "1", "+loop", kPAll, "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "2", "", "", "", ""},
  {"libx264-slow", "1", "+loop", kP1, "umh", "8", "16", "40", "2", "3", "5", "3", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-slow_firstpass", "1", "+loop", kP0, "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-slower", "1", "+loop", kPAll, "umh", "9", "16", "40", "2", "3", "8", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-slower_firstpass", "1", "+loop", kP0, "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-slowfirstpass", "1", "+loop", kP1, "hex", "6", "16", "40", "2", "3", "1", "3", "0", "+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-superfast", "1", "+loop", "+parti8x8+parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0", "", "", "", ""},
  {"libx264-superfast_firstpass", "1", "+loop", kP0, "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0", "", "", "", ""},
  {"libx264-ultrafast", "0", "-loop", kP0, "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0", "", "", "", ""},
  {"libx264-ultrafast_firstpass", "0", "-loop", kP0, "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0", "", "", "", ""},
  {"libx264-veryfast", "1", "+loop", kP1, "hex", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0", "", "", "", ""},
  {"libx264-veryfast_firstpass", "1", "+loop", kP0, "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0", "", "", "", ""},
  {"libx264-veryslow", "1", "+loop", kPAll, "umh", "10", "24", "40", "2", "8", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", "", "", "", ""},
  {"libx264-veryslow_firstpass", "1", "+loop", kP0, "dia", "2", "24", "40", "2", "8", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", "", "", "", ""},
};
// clang-format on

void AddLine(std::string& text, const char* key, const char* value) {
  if (value == nullptr || *value == '\0') return;
  if (!text.empty()) text += '\n';
  text += key;
  text += '=';
  text += value;
}

// Rows that tune the motion search carry the shared rate-control block; the
// profile rows (baseline, main, ipod) only restrict features.
bool IsFullRow(const PresetRow& r) { return *r.partitions != '\0' || *r.me_method != '\0'; }

std::string PresetText(const PresetRow& r) {
  std::string t;
  if (IsFullRow(r)) {
    AddLine(t, "coder", r.coder);
    AddLine(t, "flags", r.flags);
    AddLine(t, "cmp", "+chroma");
    AddLine(t, "partitions", r.partitions);
    AddLine(t, "me_method", r.me_method);
    AddLine(t, "subq", r.subq);
    AddLine(t, "me_range", r.me_range);
    AddLine(t, "g", "250");
    AddLine(t, "keyint_min", "25");
    AddLine(t, "sc_threshold", r.sc_threshold);
    AddLine(t, "i_qfactor", "0.71");
    AddLine(t, "b_strategy", r.b_strategy);
    AddLine(t, "qcomp", "0.6");
    AddLine(t, "qmin", "10");
    AddLine(t, "qmax", "51");
    AddLine(t, "qdiff", "4");
    AddLine(t, "bf", r.bf);
    AddLine(t, "refs", r.refs);
    AddLine(t, "directpred", r.directpred);
    AddLine(t, "trellis", r.trellis);
    AddLine(t, "flags2", r.flags2);
    AddLine(t, "cqp", r.cqp);
    AddLine(t, "wpredp", r.wpredp);
  } else {
    AddLine(t, "coder", r.coder);
    AddLine(t, "bf", r.bf);
    AddLine(t, "refs", r.refs);
    AddLine(t, "flags2", r.flags2);
    AddLine(t, "level", r.level);
    AddLine(t, "maxrate", r.maxrate);
    AddLine(t, "bufsize", r.bufsize);
    AddLine(t, "wpredp", r.wpredp);
  }
  return t;
}

// Old "flags2" bits and the libx264 private options that took their place.
// Each bit names the option and the values for "+bit" and "-bit".
struct Flags2Entry {
  const char* bit;
  const char* option;
  const char* on;
  const char* off;
};
// "wpred" was weighted bi-prediction for B-frames (P-frame weighting has its
// own "wpredp" key), which libx264 now calls "weightb".
const Flags2Entry kFlags2[] = {
    {"wpred", "weightb", "1", "0"},      {"mixed_refs", "mixed-refs", "1", "0"},
    {"dct8x8", "8x8dct", "1", "0"},      {"fastpskip", "fast-pskip", "1", "0"},
    {"bpyramid", "b-pyramid", "normal", "none"}, {"mbtree", "mbtree", "1", "0"},
};

// Splits "+a-b+c" into signed words.
std::vector<std::pair<bool, std::string>> SplitFlagWords(const std::string& value) {
  std::vector<std::pair<bool, std::string>> words;
  size_t i = 0;
  while (i < value.size()) {
    bool on = true;
    if (value[i] == '+' || value[i] == '-') {
      on = value[i] == '+';
      ++i;
    }
    size_t end = value.find_first_of("+-", i);
    if (end == std::string::npos) end = value.size();
    if (end > i) words.emplace_back(on, value.substr(i, end - i));
    i = end;
  }
  return words;
}

}  // namespace

const std::vector<TOptionsPreset>& BuiltInPresets() {
  static const std::vector<TOptionsPreset> presets = [] {
    std::vector<TOptionsPreset> list;
    for (const PresetRow& r : kRows) list.push_back({r.name, PresetText(r)});
    return list;
  }();
  return presets;
}

const TOptionsPreset* FindBuiltInPreset(const std::string& name) {
  for (const TOptionsPreset& p : BuiltInPresets())
    if (strcasecmp(p.Name.c_str(), name.c_str()) == 0) return &p;
  return nullptr;
}

std::vector<TranslatedOption> TranslatePresetLine(const std::string& name, const std::string& value) {
  using T = TranslatedOption;
  if (name == "directpred") return {{T::EncoderPrivate, "direct-pred", value}};
  if (name == "cqp") return {{T::EncoderPrivate, "qp", value}};
  if (name == "flags2") {
    std::vector<T> out;
    for (auto& [on, word] : SplitFlagWords(value)) {
      const Flags2Entry* hit = nullptr;
      for (const Flags2Entry& e : kFlags2)
        if (word == e.bit) hit = &e;
      if (hit == nullptr) {
        // Not an old libx264 bit: let the library judge it as it stands.
        out.push_back({T::Generic, "flags2", std::string(on ? "+" : "-") + word});
        continue;
      }
      out.push_back({T::EncoderPrivate, hit->option, on ? hit->on : hit->off});
    }
    return out;
  }
  if (name == "partitions") {
    // libx264 switches on every partition whose name it finds in the text and
    // ignores the signs, so "-parti8x8" would mean "i8x8 on". Hand it only the
    // partitions that are switched on, by today's names.
    std::string on;
    for (auto& [enabled, word] : SplitFlagWords(value)) {
      if (!enabled) continue;
      const std::string today = word.rfind("part", 0) == 0 ? word.substr(4) : word;
      if (on.find(today) == std::string::npos) on += (on.empty() ? "" : ",") + today;
    }
    return {{T::EncoderPrivate, "partitions", on.empty() ? "none" : on}};
  }
  if (name == "flags") {
    // Today's libx264 keeps its deblocking filter on whatever "loop" says:
    // "+loop" means nothing more, and "-loop" has to be said to libx264
    // itself. Passing "flags" on would also replace the encoder's own default
    // flags (its closed GOPs) with the generic context's value.
    std::vector<T> out;
    std::string rest;
    for (auto& [on, word] : SplitFlagWords(value)) {
      if (word != "loop")
        rest += std::string(on ? "+" : "-") + word;
      else if (!on)
        out.push_back({T::X264Params, "no-deblock", "1"});
    }
    if (!rest.empty()) out.insert(out.begin(), {T::Generic, name, rest});
    return out;
  }
  return {{T::Generic, name, value}};
}

}  // namespace media
