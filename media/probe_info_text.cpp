// The multi-line information text the options dialog shows for a file.
#include <cmath>
#include <ctime>
#include <set>
#include <vector>

#include "media/av_owners.h"
#include "media/av_utils.h"
#include "media/display_rotation.h"
#include "media/entry_points.h"
#include "media/probe.h"

namespace media {
namespace {

// ID3-style frame names shown as words.
const char* KeyName(const char* key) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},   {"TCON", "genre"},
      {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},       {"TENC", "encoder"},
      {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},       {"TLAN", "language"},
      {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},       {"TPUB", "publisher"},
      {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"},  {"TSOP", "authorsort"},
      {"TSOT", "titlesort"}, {"TYER", "year"}};
  for (auto [from, to] : kNames) {
    if (std::string(from) == key) return to;
  }
  return key;
}

std::vector<const AVDictionaryEntry*> Tags(const AVDictionary* metadata) {
  std::vector<const AVDictionaryEntry*> tags;
  const AVDictionaryEntry* tag = nullptr;
  while (metadata && (tag = Av().av_dict_get(metadata, "", tag, AV_DICT_IGNORE_SUFFIX))) tags.push_back(tag);
  return tags;
}

void AddMetadata(std::string& text, const AVDictionary* metadata, const std::string& indent) {
  auto tags = Tags(metadata);
  if (tags.empty() || (tags.size() == 1 && std::string(tags[0]->key) == "language")) return;
  text += indent + "Metadata:\r\n";
  for (const auto* tag : tags) {
    if (std::string(tag->key) == "language") continue;
    text += StringPrintf("%s  %-16s: %s\r\n", indent.c_str(), KeyName(tag->key), tag->value ? tag->value : "");
  }
}

std::string RateText(AVRational rate, const char* name) {
  double x = double(rate.num) / rate.den;
  long long v = std::llround(x * 100);
  if (v % 100 != 0) return StringPrintf(", %3.2f %s", x, name);
  if (v % 100000 != 0) return StringPrintf(", %1.0f %s", x, name);
  return StringPrintf(", %1.0fk %s", x / 1000, name);
}

std::string SecondsText(int64_t microseconds) {
  return StringPrintf("%lld.%.6lld", (long long)(microseconds / 1000000), (long long)(microseconds % 1000000));
}

std::string CodecDescription(const AVCodecParameters* parameters) {
  char buffer[256] = "";
  // Never opened, so freed without the codec lock.
  CodecContextPtr context(Av().avcodec_alloc_context3(nullptr));
  if (!context) return "";
  if (Av().avcodec_parameters_to_context(context.get(), parameters) >= 0) {
    Av().avcodec_string(buffer, sizeof buffer, context.get(), 0);
  }
  return buffer;
}

std::string StreamLine(const AVFormatContext* input, int index) {
  const AVStream* stream = input->streams[index];
  const AVCodecParameters* codec = stream->codecpar;
  std::string line = StringPrintf("Stream #%d", index);
  if (input->iformat && (input->iformat->flags & AVFMT_SHOW_IDS)) line += StringPrintf("[0x%x]", stream->id);
  std::string language = MetadataValue(stream->metadata, "language", "");
  if (!language.empty()) line += "(" + language + ")";

  int64_t gcd = Av().av_gcd(stream->time_base.num, stream->time_base.den);
  if (gcd == 0) gcd = 1;
  line += StringPrintf(", %d/%d", int(stream->time_base.num / gcd), int(stream->time_base.den / gcd));
  line += ": " + CodecDescription(codec);

  AVRational sar = stream->sample_aspect_ratio;
  if (sar.num != 0 && (sar.num != codec->sample_aspect_ratio.num || sar.den != codec->sample_aspect_ratio.den)) {
    int darNum = 0, darDen = 0;
    Av().av_reduce(&darNum, &darDen, int64_t(codec->width) * sar.num, int64_t(codec->height) * sar.den, 1048576);
    line += StringPrintf(", PAR %d:%d DAR %d:%d", sar.num, sar.den, darNum, darDen);
  }

  if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
    const std::pair<AVRational, const char*> rates[] = {
        {stream->avg_frame_rate, "fps"},
        {stream->r_frame_rate, "tbr"},
        {AVRational{stream->time_base.den, stream->time_base.num}, "tbn"},
    };
    // The codec's own time base ("tbc") is no longer part of a stream's
    // parameters, so that rate is never known here and never shown.
    for (auto [rate, name] : rates) {
      if (rate.num != 0 && rate.den != 0) line += RateText(rate, name);
    }
  }

  const AVRational microseconds{1, 1000000};
  AVRational timeBase = stream->time_base;
  if (timeBase.den == 0) timeBase.den = timeBase.num != 0 ? timeBase.num : 1;
  if (stream->start_time != kNoPts) {
    line += ", StartTime: " + SecondsText(Av().av_rescale_q(stream->start_time, timeBase, microseconds));
  }
  if (stream->duration == kNoPts) {
    line += ", Duration: N/A";
  } else {
    line += ", Duration: " + DurationText(Av().av_rescale_q(stream->duration, timeBase, microseconds));
  }
  // Pictures are shown and converted turned by this much.
  if (const int rotation = DisplayRotationOf(stream); rotation != 0)
    line += ", Rotation: " + std::to_string(rotation);
  line += "\r\n";
  AddMetadata(line, stream->metadata, "  ");
  return line;
}

// Today's MPEG-TS demuxer names the program tags "service_provider" and
// "service_name"; older files and demuxers use "provider_name" and "name".
std::string ProgramTag(const AVDictionary* metadata, const char* key, const char* todayKey) {
  return MetadataValue(metadata, key, MetadataValue(metadata, todayKey, "N/A"));
}

}  // namespace

std::string TCustomAVProbe::GetFileInfoText() {
  if (!input_) {
    SetError(24, "file not loaded.");
    return {};
  }
  std::string text;
  auto add = [&](const std::string& line) { text += line + "\r\n"; };
  add("File Name: " + FileName());
  add("Format Name: " + FormatName());
  add(std::string("Format Long Name: ") +
      (input_->iformat && input_->iformat->long_name ? input_->iformat->long_name : ""));
  add("File Size: " + SizeText(FileSize()));
  if (input_->duration == kNoPts || input_->duration < 0) {
    add("Duration: N/A");
  } else {
    add("Duration: " + DurationText(input_->duration));
  }
  if (input_->start_time != kNoPts && input_->start_time >= 0) add("StartTime: " + SecondsText(input_->start_time));
  if (input_->bit_rate < 1) {
    add("Bit Rate: N/A");
  } else {
    add(StringPrintf("Bit Rate: %lld kb/s", (long long)(input_->bit_rate / 1000)));
  }
  TFileStreamInfo info;
  GetFileStreamInfo(info);
  if (info.Timestamp > 0) {
    time_t seconds = time_t(info.Timestamp);
    struct tm local {};
    localtime_r(&seconds, &local);
    char when[32];
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    add(std::string("Time Stamp: ") + when);
  }
  AddMetadata(text, input_->metadata, "");

  std::set<int> shown;
  for (unsigned p = 0; p < input_->nb_programs; ++p) {
    const AVProgram* program = input_->programs[p];
    add(StringPrintf("Program %d %s@%s", program->id,
                     ProgramTag(program->metadata, "provider_name", "service_provider").c_str(),
                     ProgramTag(program->metadata, "name", "service_name").c_str()));
    AddMetadata(text, program->metadata, "  ");
    // A stream shared by several programs is listed under each of them.
    for (unsigned s = 0; s < program->nb_stream_indexes; ++s) {
      int index = int(program->stream_index[s]);
      if (index < 0 || index >= int(input_->nb_streams)) continue;
      text += StreamLine(input_, index);
      shown.insert(index);
    }
  }
  for (int i = 0; i < int(input_->nb_streams); ++i) {
    if (!shown.count(i)) text += StreamLine(input_, i);
  }
  return text;
}

}  // namespace media
