// The option dispatcher: one option name and value at a time, in the manner
// of a command-line transcoder. Every check and error text here is part of
// what callers see (they show LastErrorMessage to the user).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/options_generic.h"
#include "media/engine/transcoder.h"

namespace media {

namespace {

bool BoolValue(const std::string& v) { return v != "0"; }

int IntValue(const std::string& v) {
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || end == nullptr || *end != '\0' || errno == ERANGE || n < INT32_MIN || n > INT32_MAX)
    Raise("'%s' is not a valid integer value", v.c_str());
  return static_cast<int>(n);
}

int64_t Int64Value(const std::string& v) {
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(v.c_str(), &end, 10);
  if (v.empty() || end == nullptr || *end != '\0' || errno == ERANGE)
    Raise("'%s' is not a valid integer value", v.c_str());
  return n;
}

float FloatValue(const std::string& v) {
  char* end = nullptr;
  double d = std::strtod(v.c_str(), &end);
  if (v.empty() || end == nullptr || *end != '\0') Raise("'%s' is not a valid floating point value", v.c_str());
  return static_cast<float>(d);
}

// An integer read with automatic base (0x hexadecimal, leading 0 octal);
// returns the position after it.
// The number at pos (any base strtol takes); pos moves past it. At or past
// the end of the text it reads nothing and gives 0.
long AutoInt(const std::string& text, size_t& pos) {
  if (pos >= text.size()) {
    pos = text.size();
    return 0;
  }
  const char* start = text.c_str() + pos;
  char* end = nullptr;
  long n = std::strtol(start, &end, 0);
  pos += static_cast<size_t>(end - start);
  return n;
}

// Steps over the separator after a number, never past the end of the text.
void SkipSeparator(const std::string& text, size_t& pos) {
  if (pos < text.size()) ++pos;
}

int64_t ParseTime(const std::string& value, const std::string& option, bool duration) {
  int64_t us = 0;
  if (AV(av_parse_time)(&us, value.c_str(), duration ? 1 : 0) < 0)
    Raise("Invalid %s specification for %s: %s", duration ? "duration" : "date", option.c_str(), value.c_str());
  return us;
}

// YCbCr of a 0x00BBGGRR colour, in the fixed-point BT.601 form.
void PadColourToYuv(uint32_t colour, int& y, int& cb, int& cr) {
  int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
  y = (307 * r + 602 * g + 117 * b + 512) >> 10;
  cb = ((-173 * r - 340 * g + 512 * b + 511) >> 10) + 128;
  cr = ((512 * r - 429 * g - 84 * b + 511) >> 10) + 128;
}

// Whether the encoder a codec name stands for has an option of its own by
// that name (libx264's "crf").
bool EncoderHasOption(const std::string& codecName, const std::string& option) {
  if (codecName.empty()) return false;
  const AVCodec* codec = AV(avcodec_find_encoder_by_name)(EncoderNameFor(codecName).c_str());
  return codec != nullptr && codec->priv_class != nullptr &&
         AV(av_opt_find)(const_cast<AVClass**>(&codec->priv_class), option.c_str(), nullptr, 0,
                         AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

const char* const kDoNothing[] = {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters",
                                  "i", "y", "benchmark"};

}  // namespace

void TCustomFFmpeg::SetCodecName(int kind, const std::string& value) {
  if (value.empty()) return;
  std::string& name = kind == 0 ? settings_.videoCodecName
                      : kind == 1 ? settings_.audioCodecName
                                  : settings_.subtitleCodecName;
  bool& copy = kind == 0 ? settings_.videoCopy : kind == 1 ? settings_.audioCopy : settings_.subtitleCopy;
  name.clear();
  if (value == "copy")
    copy = true;
  else
    name = value;
}

void TCustomFFmpeg::ApplyVideoTag(const std::string& value, uint32_t& tag, const char* what) {
  if (value.empty()) return;
  if (value.size() != 4) Raise("%s tag parameter must be 4 chars", what);
  tag = static_cast<uint8_t>(value[0]) | (static_cast<uint8_t>(value[1]) << 8) |
        (static_cast<uint8_t>(value[2]) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(value[3])) << 24);
}

void TCustomFFmpeg::AddBitstreamFilter(std::vector<std::string>& chain, const std::string& value) {
  if (value.empty() || value[0] == '=') return;
  std::string name = value.substr(0, value.find('='));
  size_t a = name.find_first_not_of(" \t"), b = name.find_last_not_of(" \t");
  std::string trimmed = a == std::string::npos ? std::string() : name.substr(a, b - a + 1);
  if (AV(av_bsf_get_by_name)(trimmed.c_str()) == nullptr) Raise("Unknown bitstream filter %s", trimmed.c_str());
  chain.push_back(value);
}

void TCustomFFmpeg::ParseMatrix(const std::string& text, std::vector<int16_t>& matrix) {
  matrix.assign(64, 0);
  size_t pos = 0;
  for (int i = 0; i < 64; ++i) {
    const char* start = text.c_str() + pos;
    char* end = nullptr;
    matrix[i] = static_cast<int16_t>(std::strtol(start, &end, 10));
    pos += static_cast<size_t>(end - start);
    if (i == 63) break;
    size_t comma = text.find(',', pos);
    if (comma == std::string::npos) Raise("Syntax error in matrix \"%s\" at coeff %d", text.c_str(), i);
    pos = comma + 1;
  }
}

void TCustomFFmpeg::RefuseOption(const std::string& name, const std::string& value) {
  if (GenericKnowsOption(optionContexts_.get(), name) || EncoderHasOption(settings_.videoCodecName, name) ||
      EncoderHasOption(settings_.audioCodecName, name))
    Raise("Invalid value \"%s\" for option \"%s\"", value.c_str(), name.c_str());
  Raise("Unrecognized option '%s'", name.c_str());
}

void TCustomFFmpeg::ApplyOption(const std::string& name, const std::string& value) {
  TaskSettings& s = settings_;
  for (const char* n : kDoNothing)
    if (name == n) {
      EngineLog(LogInfo, "Do nothing: option - " + name);
      return;
    }
  if (name == "loglevel") return SetLibraryLogLevelByName(value);
  if (name == "f") {
    if (value.empty()) return;
    if (value == "pgmyuv") {
      s.forcedFormat = "image2";
      s.pgmyuvCompat = true;
      EngineLog(LogInfo, "pgmyuv format is deprecated, use image2");
    } else {
      s.forcedFormat = value;
    }
    return;
  }
  if (name == "map") {
    StreamMap m;
    size_t p = 0;
    m.file = static_cast<int>(AutoInt(value, p));
    SkipSeparator(value, p);
    m.stream = static_cast<int>(AutoInt(value, p));
    if (p < value.size()) {
      SkipSeparator(value, p);
      m.syncFile = static_cast<int>(AutoInt(value, p));
      SkipSeparator(value, p);
      m.syncStream = static_cast<int>(AutoInt(value, p));
    } else {
      m.syncFile = m.file;
      m.syncStream = m.stream;
    }
    s.streamMaps.push_back(m);
    return;
  }
  if (name == "map_meta_data") {
    MetaDataMap m;
    size_t p = 0;
    m.outFile = static_cast<int>(AutoInt(value, p));
    SkipSeparator(value, p);
    m.inFile = static_cast<int>(AutoInt(value, p));
    s.metaDataMaps.push_back(m);
    return;
  }
  if (name == "t") {
    s.recordingTime = ParseTime(value, name, true);
    totalDuration_ = s.recordingTime;
    return;
  }
  if (name == "fs") { s.limitFileSize = Int64Value(value); return; }
  if (name == "ss") { s.startTime = ParseTime(value, name, true); return; }
  if (name == "itsoffset") { s.inputTsOffset = ParseTime(value, name, true); return; }
  if (name == "itsscale") {
    size_t p = 0;
    long index = AutoInt(value, p);
    ++p;
    double scale = p <= value.size() ? std::strtod(value.c_str() + std::min(p, value.size()), nullptr) : 0;
    if (index < 0 || index >= kMaxStreams) Raise("stream index over MAX_STREAMS(%d)", kMaxStreams);
    s.tsScale[index] = scale;
    return;
  }
  if (name == "timestamp") {
    int64_t us = ParseTime(value, name, false);
    s.recordingTimestamp = static_cast<int64_t>(std::llround(static_cast<double>(us) / 1000000.0));
    return;
  }
  if (name == "metadata") {
    size_t eq = value.find('=');
    if (eq == std::string::npos) Raise("Missing =");
    s.metadata.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    return;
  }
  if (name == "dframes") { s.maxDataFrames = IntValue(value); return; }
  if (name == "timelimit") {
    EngineLog(LogWarning, "Warning: -timelimit not implemented on Windows");
    return;
  }
  if (name == "dump") { s.doPktDump = BoolValue(value); return; }
  if (name == "hex") { s.doHexDump = BoolValue(value); return; }
  if (name == "re") { s.rateEmulation = BoolValue(value); return; }
  if (name == "loop_input") { s.loopInput = BoolValue(value); return; }
  if (name == "loop_output") { s.loopOutput = IntValue(value); return; }
  if (name == "v") { s.verbosity = IntValue(value); return; }
  if (name == "target") {
    std::string type = value, norm = "auto";
    for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
      if (value.rfind(prefix, 0) == 0) {
        norm = std::string(prefix, std::strlen(prefix) - 1);
        type = value.substr(std::strlen(prefix));
      }
    }
    return ApplyTarget(type, norm, "ntsc");
  }
  if (name == "threads") Raise("TODO: option - %s", name.c_str());
  if (name == "vsync") { s.videoSyncMethod = IntValue(value); return; }
  if (name == "async") { s.audioSyncMethod = IntValue(value); return; }
  if (name == "adrift_threshold") { s.audioDriftThreshold = FloatValue(value); return; }
  if (name == "vglobal") { s.videoGlobalHeader = IntValue(value); return; }
  if (name == "copyts") { s.copyTimestamps = true; return; }
  if (name == "shortest") { s.shortest = BoolValue(value); return; }
  if (name == "dts_delta_threshold") { s.dtsDeltaThreshold = FloatValue(value); return; }
  if (name == "programid") { s.programId = IntValue(value); return; }
  if (name == "xerror") { s.exitOnError = true; return; }
  if (name == "copyinkf") { s.copyInitialNonKeyFrames = IntValue(value); return; }
  if (name == "b" || name == "vb" || name == "ab") {
    if (!SetGenericOption(name, value)) {
      if (strictOptions_) RefuseOption(name, value);
      return;
    }
    const int kind = name[0] == 'a' ? 1 : 0;
    if (GenericGetInt(optionContexts_.get(), kind, "b") < 1000)
      EngineLog(LogWarning,
                "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
    return;
  }
  if (name == "vframes") { s.maxVideoFrames = IntValue(value); return; }
  if (name == "r") {
    if (value.empty()) return;
    AVRational rate{0, 0};
    if (AV(av_parse_video_rate)(&rate, value.c_str()) < 0) Raise("Incorrect frame rate");
    s.frameRateNum = rate.num;
    s.frameRateDen = rate.den;
    s.frameRateAsked = true;
    return;
  }
  if (name == "s") {
    if (value.empty()) return;
    int w = 0, h = 0;
    if (AV(av_parse_video_size)(&w, &h, value.c_str()) < 0) Raise("Incorrect frame size");
    s.frameWidth = w;
    s.frameHeight = h;
    return;
  }
  if (name == "aspect") {
    double ratio = 0;
    size_t colon = value.find(':');
    if (colon != std::string::npos) {
      int x = std::atoi(value.substr(0, colon).c_str());
      int y = std::atoi(value.substr(colon + 1).c_str());
      if (y > 0) ratio = static_cast<double>(x) / y;
    } else {
      char* end = nullptr;
      double d = std::strtod(value.c_str(), &end);
      if (!value.empty() && end != nullptr && *end == '\0') ratio = d;
    }
    if (ratio == 0) Raise("Incorrect aspect ratio specification.");
    s.frameAspectRatio = static_cast<float>(ratio);
    return;
  }
  if (name == "pix_fmt") {
    if (value == "list") {
      for (int f = 0; const AVPixFmtDescriptor* d = AV(av_pix_fmt_desc_get)(static_cast<AVPixelFormat>(f)); ++f)
        EngineLog(LogInfo, d->name);
      return;
    }
    int fmt = AV(av_get_pix_fmt)(value.c_str());
    if (fmt == -1) Raise("Unknown pixel format requested: %s", value.c_str());
    s.pixelFormat = fmt;
    s.pixelFormatAsked = true;
    return;
  }
  if (name == "sample_fmt") {
    if (value == "list") {
      for (int f = 0; f < AV_SAMPLE_FMT_NB; ++f) {
        const char* n = AV(av_get_sample_fmt_name)(static_cast<AVSampleFormat>(f));
        if (n != nullptr) EngineLog(LogInfo, n);
      }
      return;
    }
    s.sampleFormat = AV(av_get_sample_fmt)(value.c_str());
    return;
  }
  if (name == "croptop" || name == "cropbottom") {
    int v = IntValue(value);
    if (v < 0) return;
    if (v >= s.frameHeight)
      Raise("Vertical crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
    (name == "croptop" ? s.cropTop : s.cropBottom) = v;
    s.frameHeight -= v;
    return;
  }
  if (name == "cropleft" || name == "cropright") {
    int v = IntValue(value);
    if (v < 0) return;
    if (v >= s.frameWidth)
      Raise("Horizontal crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
    (name == "cropleft" ? s.cropLeft : s.cropRight) = v;
    s.frameWidth -= v;
    return;
  }
  if (name == "padtop" || name == "padbottom" || name == "padleft" || name == "padright") {
    int v = IntValue(value);
    if (v < 0) return;
    (name == "padtop" ? s.padTop : name == "padbottom" ? s.padBottom : name == "padleft" ? s.padLeft : s.padRight) = v;
    return;
  }
  if (name == "padcolor") {
    PadColourToYuv(static_cast<uint32_t>(Int64Value(value)), s.padY, s.padCb, s.padCr);
    return;
  }
  if (name == "intra") { s.intraOnly = BoolValue(value); return; }
  if (name == "vn") { s.videoDisable = BoolValue(value); return; }
  if (name == "vdt") { s.videoDiscard = IntValue(value); return; }
  if (name == "qscale") {
    float q = FloatValue(value);
    if (!(q > 0 && q <= 255)) Raise("qscale must be > 0.0 and <= 255");
    s.videoQScale = q;
    return;
  }
  if (name == "rc_override") { s.rcOverride = value; return; }
  if (name == "vcodec") return SetCodecName(0, value);
  if (name == "me_threshold") { s.meThreshold = IntValue(value); return; }
  if (name == "sameq") { s.sameQuality = BoolValue(value); return; }
  if (name == "pass") {
    int p = IntValue(value);
    if (p != 1 && p != 2) Raise("pass number can be only 1 or 2");
    s.passNumber = p;
    return;
  }
  if (name == "passlogfile") { s.passLogFile = value; return; }
  if (name == "deinterlace") { s.deinterlace = BoolValue(value); return; }
  if (name == "psnr") { s.doPsnr = BoolValue(value); return; }
  if (name == "vstats") {
    std::time_t now = std::time(nullptr);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H%M%S", std::localtime(&now));
    s.vstatsFileName = FormatText("%svstats_%s.log", ExecutableFolder().c_str(), stamp);
    return;
  }
  if (name == "vstats_file") { s.vstatsFileName = value; return; }
  if (name == "vhook") {
    std::vector<std::string> words = SplitHookArguments(value);
    if (FrameHookAdd(hooks_, words) != 0) Raise("Failed to add video hook function: %s", value.c_str());
    s.vhookInUse = true;
    return;
  }
  if (name == "vfilters") { s.videoFilters = value; return; }
  if (name == "intra_matrix") return ParseMatrix(value, s.intraMatrix);
  if (name == "inter_matrix") return ParseMatrix(value, s.interMatrix);
  if (name == "top") { s.topFieldFirst = IntValue(value); return; }
  if (name == "dc") { s.intraDcPrecision = IntValue(value); return; }
  if (name == "vtag") return ApplyVideoTag(value, s.videoTag, "video");
  if (name == "newvideo") return AddStreamToLastOutput(0);
  if (name == "vlang") { s.videoLanguage = value; return; }
  if (name == "qphist") { s.qpHist = BoolValue(value); return; }
  if (name == "force_fps") { s.forceFps = BoolValue(value); return; }
  if (name == "aframes") { s.maxAudioFrames = IntValue(value); return; }
  if (name == "aq") { s.audioQScale = FloatValue(value); return; }
  if (name == "ar") { s.audioSampleRate = IntValue(value); return; }
  if (name == "ac") { s.audioChannels = IntValue(value); return; }
  if (name == "an") { s.audioDisable = BoolValue(value); return; }
  if (name == "acodec") return SetCodecName(1, value);
  if (name == "atag") return ApplyVideoTag(value, s.audioTag, "audio");
  if (name == "vol") { s.audioVolume = IntValue(value); return; }
  if (name == "newaudio") return AddStreamToLastOutput(1);
  if (name == "alang") { s.audioLanguage = value; return; }
  if (name == "sn") { s.subtitleDisable = BoolValue(value); return; }
  if (name == "scodec") return SetCodecName(3, value);
  if (name == "newsubtitle") return AddStreamToLastOutput(3);
  if (name == "slang") { s.subtitleLanguage = value; return; }
  if (name == "stag") return ApplyVideoTag(value, s.subtitleTag, "subtitle");
  if (name == "vc") { s.captureChannel = IntValue(value); return; }
  if (name == "tvstd") { s.tvStandard = value; return; }
  if (name == "isync") { s.inputSync = BoolValue(value); return; }
  if (name == "muxdelay") { s.muxMaxDelay = FloatValue(value); return; }
  if (name == "muxpreload") { s.muxPreload = FloatValue(value); return; }
  if (name == "absf") return AddBitstreamFilter(s.audioBitstreamFilters, value);
  if (name == "vbsf") return AddBitstreamFilter(s.videoBitstreamFilters, value);
  if (name == "sbsf") return AddBitstreamFilter(s.subtitleBitstreamFilters, value);
  if (name == "apre" || name == "vpre" || name == "spre" || name == "fpre") return ApplyPreset(name, value);
  // Then the named encoders' own options ("crf", "preset" of libx264).
  if (SetGenericOption(name, value) || SetPrivateOption(AVMEDIA_TYPE_VIDEO, name, value) ||
      SetPrivateOption(AVMEDIA_TYPE_AUDIO, name, value))
    return;
  if (strictOptions_) RefuseOption(name, value);
}

}  // namespace media
