// Presets, extra-options texts, target presets and the fixed order in which
// the fields of TInputOptions and TOutputOptions become options.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/options_generic.h"
#include "media/engine/options_presets.h"
#include "media/engine/transcoder.h"
#include "media/named_options.h"

namespace media {

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

// Trimmed, line breaks as LF.
std::string NormaliseLines(const std::string& text) {
  std::string t = Trim(text);
  t = ReplaceAll(t, "\r\n", "\n");
  return ReplaceAll(t, "\r", "\n");
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

int ExtraOptionClass(const std::string& name) {
  if (name == "newvideo" || name == "newaudio" || name == "newsubtitle") return 0;
  if (name == "apre" || name == "vpre" || name == "spre") return 1;
  if (name == "acodec" || name == "vcodec" || name == "scodec") return 2;
  if (name == "s") return 3;
  if (name == "vfilters") return 4;
  return 5;
}

// Seconds since the epoch of a day count since 1899-12-30 in local time,
// using the zone's standard bias (daylight saving not applied).
int64_t DayCountToUnixSeconds(double days) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  long offset = local.tm_gmtoff - (local.tm_isdst > 0 ? 3600 : 0);  // seconds east of UTC, standard time
  double zoneDays = static_cast<double>(offset) / 86400.0;
  return static_cast<int64_t>(std::llround((days - 25569.0 - zoneDays) * 86400.0));
}

}  // namespace

int ExtraOptionClassOf(const std::string& name) { return ExtraOptionClass(name); }

void TCustomFFmpeg::ApplyExtraOptions(const std::string& text, int optionClass) {
  std::string t = ReplaceAll(NormaliseLines(text), "<CRLF>", "\n");
  for (const std::string& line : SplitLines(t)) {
    if (line.empty()) continue;
    size_t eq = line.find('=');
    std::string name = Lower(eq == std::string::npos ? line : line.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (ExtraOptionClass(name) == optionClass) ApplyOption(name, value);
  }
}

bool TCustomFFmpeg::SetNumericOption(const std::string& name, int64_t value) {
  return SetGenericOption(name, std::to_string(value));
}

void TCustomFFmpeg::ApplyPreset(const std::string& kind, const std::string& name) {
  const char k = kind.empty() ? 'f' : kind[0];
  std::string lookedUp = name;
  const TOptionsPreset* preset = nullptr;
  if (k != 'f') {
    preset = FindBuiltInPreset(name);
    if (preset == nullptr) {
      const std::string& codec = k == 'v' ? settings_.videoCodecName
                                 : k == 'a' ? settings_.audioCodecName
                                            : settings_.subtitleCodecName;
      lookedUp = codec.empty() ? name : codec + "-" + name;
      preset = FindBuiltInPreset(lookedUp);
    }
  }
  if (preset != nullptr) {
    // A built-in preset is named after the encoder it was written for
    // ("libx264-hq"): with no encoder named yet, its encoder-own keys are
    // checked against that one and wait for the stream's encoder.
    const std::string writtenFor = preset->Name.substr(0, preset->Name.find('-'));
    return ApplyPresetText(preset->Name, preset->Text, k, writtenFor);
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) Raise("Preset \"%s\" not found", name.c_str());
  std::ifstream in(name, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  ApplyPresetText(lookedUp, content.str(), k);
}

void TCustomFFmpeg::ApplyPresetText(const std::string& presetName, const std::string& text, char kind,
                                    const std::string& writtenFor) {
  for (const std::string& raw : SplitLines(NormaliseLines(text))) {
    std::string line = Trim(raw);
    if (line.empty()) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 >= line.size())
      Raise("%s: Invalid syntax: \"%s\"", presetName.c_str(), line.c_str());
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    std::string lower = Lower(key);
    if (lower == "acodec") { SetCodecName(1, value); continue; }
    if (lower == "vcodec") { SetCodecName(0, value); continue; }
    if (lower == "scodec") { SetCodecName(3, value); continue; }
    const int mediaKind = kind == 'a' ? 1 : kind == 's' ? 3 : 0;
    bool ok = true;
    for (const TranslatedOption& t : TranslatePresetLine(key, value)) {
      switch (t.kind) {
        case TranslatedOption::Generic:
          ok = SetGenericOption(t.name, t.value) || SetPrivateOption(mediaKind, t.name, t.value, writtenFor);
          break;
        case TranslatedOption::EncoderPrivate:
          ok = SetPrivateOption(mediaKind, t.name, t.value, writtenFor);
          break;
        case TranslatedOption::X264Params:
          settings_.x264Params.push_back(t.name + "=" + t.value);
          break;
      }
      if (!ok) break;
    }
    if (!ok)
      Raise("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"", presetName.c_str(), line.c_str(),
            key.c_str(), value.c_str());
  }
}

// An option of the named encoder's own table (libx264's "weightb" ...). The
// value is tried on a scratch context of that encoder, so a refused value
// fails here and not when the encoder opens. Without a named encoder the
// value is checked against `writtenFor` (the encoder a preset was made for).
bool TCustomFFmpeg::SetPrivateOption(int kind, const std::string& name, const std::string& value,
                                     const std::string& writtenFor) {
  const std::string& named = kind == 1 ? settings_.audioCodecName
                             : kind == 3 ? settings_.subtitleCodecName
                                         : settings_.videoCodecName;
  const std::string& codecName = named.empty() ? writtenFor : named;
  if (codecName.empty()) return false;
  const AVCodec* codec = AV(avcodec_find_encoder_by_name)(EncoderNameFor(codecName).c_str());
  if (codec == nullptr || codec->priv_class == nullptr) return false;
  AVCodecContext* scratch = AV(avcodec_alloc_context3)(codec);
  if (scratch == nullptr) return false;
  bool ok = scratch->priv_data != nullptr && AV(av_opt_set)(scratch->priv_data, name.c_str(), value.c_str(), 0) >= 0;
  AV(avcodec_free_context)(&scratch);
  if (!ok) return false;
  PrivateOptions& list = kind == 1 ? settings_.audioPrivate : kind == 3 ? settings_.subtitlePrivate
                                                                        : settings_.videoPrivate;
  list.emplace_back(name, value);
  return true;
}

bool TCustomFFmpeg::SetGenericOption(const std::string& name, const std::string& value) {
  if (optionContexts_ == nullptr) return false;
  // The libraries' "b" serves audio and video alike, but in this vocabulary it
  // is the video bit rate ("ab" is the audio one): set it for video only, so
  // that "ab=64000" followed by "b=300000" leaves the audio at 64 kbit/s.
  if (name == "b") return SetGenericOption("vb", value);
  const size_t before = optionContexts_->names.size();
  if (!GenericSetOption(optionContexts_.get(), name, value)) return false;
  if (optionContexts_->names.size() > before) {
    const std::string& recorded = optionContexts_->names.back();
    int kinds = 0xFF;
    if (recorded != name && name.size() > 1 && name.substr(1) == recorded)
      kinds = 1 << (name[0] == 'v' ? AVMEDIA_TYPE_VIDEO : name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_SUBTITLE);
    genericKinds_.emplace_back(recorded, kinds);
  }
  return true;
}

void TCustomFFmpeg::ApplyEncoderOptions(AVCodecContext* enc, int kind) {
  if (optionContexts_ == nullptr || kind < 0 || kind >= 5) return;
  AVCodecContext* source = optionContexts_->codec[kind].get();
  const int flags = kOptionTypeFlags[kind] | AV_OPT_FLAG_ENCODING_PARAM;
  for (const auto& [name, kinds] : genericKinds_) {
    if (!(kinds & (1 << kind))) continue;
    const AVOption* option = AV(av_opt_find)(source, name.c_str(), nullptr, 0, 0);
    if (option == nullptr || (option->flags & flags) != flags) continue;
    uint8_t* value = nullptr;
    if (AV(av_opt_get)(source, name.c_str(), 0, &value) >= 0 && value != nullptr)
      AV(av_opt_set)(enc, name.c_str(), reinterpret_cast<const char*>(value), 0);
    AV(av_free)(value);
  }
}

void TCustomFFmpeg::ApplyTarget(const std::string& type, const std::string& norm, const std::string& defaultNorm) {
  enum { PAL, NTSC, FILM, UNKNOWN } n = UNKNOWN;
  if (norm == "pal") n = PAL;
  else if (norm == "ntsc") n = NTSC;
  else if (norm == "film") n = FILM;
  if (n == UNKNOWN) {
    if (settings_.frameRateDen == 0) Raise("frame_rate is invalid.");
    auto byRate = [&](long fr) {
      if (fr == 25000) n = PAL;
      else if (fr == 29970 || fr == 23976) n = NTSC;
    };
    byRate(std::lround(settings_.frameRateNum * 1000.0 / settings_.frameRateDen));
    for (const InputFile& in : inputs_) {
      if (n != UNKNOWN) break;
      for (unsigned i = 0; in.ctx != nullptr && i < in.ctx->nb_streams && n == UNKNOWN; ++i) {
        AVStream* st = in.ctx->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || st->time_base.num == 0) continue;
        byRate(std::lround(st->time_base.den * 1000.0 / st->time_base.num));
      }
    }
    if (n == UNKNOWN) n = defaultNorm == "film" ? FILM : defaultNorm == "ntsc" ? NTSC : PAL;
    if (settings_.verbosity > 0) EngineLog(LogVerbose, FormatText("Assuming %s for target.", n == PAL ? "PAL" : "NTSC"));
  }
  const bool pal = n == PAL;
  const char* rate = pal ? "25" : n == NTSC ? "30000/1001" : "24000/1001";
  const char* gop = pal ? "15" : "18";
  auto aspectDefault = [&](const char* aspect) {
    if (settings_.frameAspectRatio == 0) {
      EngineLog(LogInfo, FormatText("Assuming %s for aspect ratio", aspect));
      ApplyOption("aspect", aspect);
    }
  };
  if (type == "vcd") {
    ApplyOption("vcodec", "mpeg1video");
    ApplyOption("acodec", "mp2");
    ApplyOption("f", "vcd");
    ApplyOption("s", pal ? "352x288" : "352x240");
    ApplyOption("r", rate);
    for (auto [k, v] : {std::pair{"g", gop}, {"b", "1150000"}, {"maxrate", "1150000"}, {"minrate", "1150000"},
                        {"bufsize", "327680"}, {"ab", "224000"}, {"packetsize", "2324"}, {"muxrate", "1411200"}})
      SetGenericOption(k, v);
    settings_.audioSampleRate = 44100;
    settings_.audioChannels = 2;
    settings_.muxPreload = 0.44f;
    aspectDefault("4:3");
  } else if (type == "svcd") {
    ApplyOption("vcodec", "mpeg2video");
    ApplyOption("acodec", "mp2");
    ApplyOption("f", "svcd");
    ApplyOption("s", pal ? "480x576" : "480x480");
    ApplyOption("r", rate);
    for (auto [k, v] : {std::pair{"g", gop}, {"b", "2040000"}, {"maxrate", "2516000"}, {"minrate", "0"},
                        {"bufsize", "1835008"}, {"ab", "224000"}, {"packetsize", "2324"}})
      SetGenericOption(k, v);
    // SVCD players find their scan-offset data in space the MPEG-2 encoder
    // keeps free only when its own option says so.
    SetPrivateOption(AVMEDIA_TYPE_VIDEO, "scan_offset", "1");
    settings_.audioSampleRate = 44100;
    if (settings_.audioChannels == 1) settings_.audioChannels = 2;
    aspectDefault("4:3");
  } else if (type == "dvd") {
    ApplyOption("vcodec", "mpeg2video");
    ApplyOption("acodec", "ac3");
    ApplyOption("f", "dvd");
    ApplyOption("s", pal ? "720x576" : "720x480");
    ApplyOption("r", rate);
    for (auto [k, v] : {std::pair{"g", gop}, {"b", "6000000"}, {"maxrate", "9000000"}, {"minrate", "0"},
                        {"bufsize", "1835008"}, {"packetsize", "2048"}, {"muxrate", "10080000"}, {"ab", "448000"}})
      SetGenericOption(k, v);
    settings_.audioSampleRate = 48000;
    if (settings_.audioChannels == 1) settings_.audioChannels = 2;
    aspectDefault("16:9");
  } else if (type == "dv" || type == "dv50") {
    ApplyOption("f", "dv");
    ApplyOption("s", pal ? "720x576" : "720x480");
    ApplyOption("r", rate);
    ApplyOption("pix_fmt", type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
    settings_.audioSampleRate = 48000;
    settings_.audioChannels = 2;
  } else {
    Raise("Unknown target type");
  }
}

void TCustomFFmpeg::ApplyInputOptions(const TInputOptions& o) {
  ApplyExtraOptions(o.ExtOptions, 5);
  ApplyExtraOptions(o.ExtOptions, 2);
  ApplyOption("f", o.FileFormat);
  if (o.StartTime != kNoTime) settings_.startTime = o.StartTime;
  if (o.ProgramID >= 0) settings_.programId = o.ProgramID;
}

void TCustomFFmpeg::ApplyOutputOptions(const TOutputOptions& o) {
  TaskSettings& s = settings_;
  if (o.Target >= 1 && o.Target <= 3) {
    const char* types[] = {"", "vcd", "svcd", "dvd"};
    ApplyTarget(types[o.Target], o.TargetNorm == 1 ? "pal" : o.TargetNorm == 2 ? "ntsc" : "auto",
                o.DefaultNorm == 1 ? "pal" : "ntsc");
  }
  ApplyExtraOptions(o.ExtOptions, 2);
  if (!o.AudioCodec.empty()) ApplyOption("acodec", o.AudioCodec);
  if (!o.VideoCodec.empty()) ApplyOption("vcodec", o.VideoCodec);
  if (!o.SubtitleCodec.empty()) ApplyOption("scodec", o.SubtitleCodec);
  ApplyExtraOptions(o.ExtOptions, 1);
  if (!o.AudioPreset.empty()) ApplyOption("apre", o.AudioPreset);
  if (!o.VideoPreset.empty()) ApplyOption("vpre", o.VideoPreset);
  if (!o.SubtitlePreset.empty()) ApplyOption("spre", o.SubtitlePreset);
  ApplyExtraOptions(o.ExtOptions, 5);

  if (!o.FileFormat.empty()) ApplyOption("f", o.FileFormat);
  if (o.PacketSize > 0) SetNumericOption("packetsize", o.PacketSize);
  if (o.MuxRate > 0) SetNumericOption("muxrate", o.MuxRate);
  if (o.MuxDelay > 0) s.muxMaxDelay = o.MuxDelay;
  if (o.MuxPreload > 0) s.muxPreload = o.MuxPreload;
  if (o.DisableAudio) s.audioDisable = true;
  if (o.AudioVolume >= 0) s.audioVolume = o.AudioVolume;
  if (o.AudioChannels > 0) s.audioChannels = o.AudioChannels;
  if (o.AudioSampleRate > 0) s.audioSampleRate = o.AudioSampleRate;
  if (o.AudioBitrate > 0) SetNumericOption("ab", o.AudioBitrate);
  if (o.AudioBitrateTolerance > 0) SetNumericOption("abt", o.AudioBitrateTolerance);
  s.audioLanguage = o.AudioLanguage;
  s.audioSyncMethod = o.AudioSyncMethod;
  if (!o.AudioTag.empty()) ApplyOption("atag", o.AudioTag);
  if (o.DisableVideo) s.videoDisable = true;
  if (!o.FrameRate.empty()) ApplyOption("r", o.FrameRate);
  if (!o.FrameAspectRatio.empty()) ApplyOption("aspect", o.FrameAspectRatio);
  if (o.CropTop >= 0) ApplyOption("croptop", std::to_string(o.CropTop));
  if (o.CropBottom >= 0) ApplyOption("cropbottom", std::to_string(o.CropBottom));
  if (o.CropLeft >= 0) ApplyOption("cropleft", std::to_string(o.CropLeft));
  if (o.CropRight >= 0) ApplyOption("cropright", std::to_string(o.CropRight));
  if (o.PadTop >= 0) s.padTop = o.PadTop;
  if (o.PadBottom >= 0) s.padBottom = o.PadBottom;
  if (o.PadLeft >= 0) s.padLeft = o.PadLeft;
  if (o.PadRight >= 0) s.padRight = o.PadRight;
  ApplyOption("padcolor", std::to_string(o.PadColor));
  if (o.GroupPictureSize > 0) SetNumericOption("g", o.GroupPictureSize);
  if (o.VideoBitrate > 0) SetNumericOption("vb", o.VideoBitrate);
  if (o.VideoMaxRate > 0) SetNumericOption("maxrate", o.VideoMaxRate);
  if (o.VideoMinRate > 0) SetNumericOption("minrate", o.VideoMinRate);
  if (o.VideoBitrateTolerance > 0) SetNumericOption("bt", o.VideoBitrateTolerance);
  if (o.VideoBufferSize > 0) SetNumericOption("bufsize", o.VideoBufferSize);
  s.videoSyncMethod = o.VideoSyncMethod;
  if (!o.VideoTag.empty()) ApplyOption("vtag", o.VideoTag);
  s.videoLanguage = o.VideoLanguage;
  if (o.DisableSubtitle) s.subtitleDisable = true;
  s.subtitleLanguage = o.SubtitleLanguage;
  s.inputSync = o.InputSync;
  if (o.CopyTimestamp) s.copyTimestamps = true;
  if (o.StartTime != kNoTime) s.startTime = o.StartTime;
  if (o.Duration != kNoTime) {
    s.recordingTime = o.Duration;
    totalDuration_ = o.Duration;
  }
  if (o.Info.Timestamp == 0)
    s.recordingTimestamp = std::time(nullptr);
  else if (o.Info.Timestamp > 0)
    s.recordingTimestamp = DayCountToUnixSeconds(o.Info.Timestamp);
  if (o.Info.Year > 0) s.metadata.emplace_back("year", std::to_string(o.Info.Year));
  if (o.Info.Track > 0) s.metadata.emplace_back("track", std::to_string(o.Info.Track));
  const std::pair<const char*, const std::string*> tags[] = {
      {"title", &o.Info.Title},         {"author", &o.Info.Author}, {"copyright", &o.Info.Copyright},
      {"comment", &o.Info.Comment},     {"album", &o.Info.Album},   {"genre", &o.Info.Genre}};
  for (auto& [key, value] : tags)
    if (!value->empty()) s.metadata.emplace_back(key, *value);

  ApplyExtraOptions(o.ExtOptions, 3);
  if (!o.FrameSize.empty()) ApplyOption("s", o.FrameSize);
  ApplyExtraOptions(o.ExtOptions, 4);
  if (!o.VideoFilters.empty()) ApplyOption("vfilters", o.VideoFilters);
}

}  // namespace media
