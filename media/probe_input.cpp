// TCustomAVProbe: opening, closing and summarising one input.
#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>

#include "media/av_utils.h"
#include "media/entry_points.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"
#include "media/unicode_io.h"

namespace media {

// Derived classes close in their own destructor; here only the input can be
// left, and its owner closes it (unless it was attached).
TCustomAVProbe::~TCustomAVProbe() = default;

void TCustomAVProbe::SetError(int libraryLevel, const std::string& text) {
  FFLogger().Log(this, LibraryToLogLevel(libraryLevel), text);
  lastErrorMessage_ = text;
}

void TCustomAVProbe::CheckLibraries() const {
  const std::pair<TLibraryId, const char*> needed[] = {{libAVCodec, "LibAVCodec not loaded."},
                                                       {libAVFormat, "LibAVFormat not loaded."},
                                                       {libAVUtil, "LibAVUtil not loaded."},
                                                       {libSwScale, "LibSwScale not loaded."}};
  for (auto [library, text] : needed) {
    if (!FFmpegLoader().IsLoaded(library)) throw std::runtime_error(text);
  }
}

bool TCustomAVProbe::OpenFile(const std::string& fileName, const std::string& formatName) {
  CheckLibraries();
  CloseFile();
  const AVInputFormat* format = nullptr;
  if (!formatName.empty()) {
    format = Av().av_find_input_format(formatName.c_str());
    if (!format) {
      lastErrorMessage_ = "Unknown input format: " + formatName;
      return false;
    }
  }
  // Not the library's non-blocking mode: on files today's demuxers may then
  // answer "try again", which would read as a false end of file.
  AVFormatContext* context = Av().avformat_alloc_context();
  if (!context) {
    SetError(16, ErrorText(fileName, AVERROR(ENOMEM)));
    return false;
  }
  int result = OpenInputFile(&context, UnicodeFileName(fileName), format, nullptr);
  if (result < 0) {
    SetError(16, ErrorText(fileName, result));
    CloseFile();
    return false;
  }
  openedInput_.reset(context);
  input_ = context;
  if (Av().avformat_find_stream_info(input_, nullptr) < 0) {
    CloseFile();
    lastErrorMessage_ = fileName + ": could not find codec parameters";
    return false;
  }
  ReadStreamSummary();
  forcedFormat_ = formatName;
  return true;
}

void TCustomAVProbe::CloseFile() {
  forcedFormat_.clear();
  input_ = nullptr;
  openedInput_.reset();  // an attached input is only let go of
  ReadStreamSummary();
}

void TCustomAVProbe::AttachInput(AVFormatContext* context) {
  CheckLibraries();
  CloseFile();
  input_ = context;
  ReadStreamSummary();
}

void TCustomAVProbe::ReadStreamSummary() {
  fileSize_ = streamCount_ = programCount_ = -1;
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
  firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
  if (!input_) return;

  int64_t size = input_->pb ? Av().avio_size(input_->pb) : -1;
  if (size <= 0) {
    struct stat info {};
    std::string name = FileName();
    if (!name.empty() && ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) size = int64_t(info.st_size);
  }
  fileSize_ = size > 0 ? size : -1;
  streamCount_ = int(input_->nb_streams);
  programCount_ = int(input_->nb_programs);
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
  for (int i = 0; i < streamCount_; ++i) {
    switch (input_->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (videoStreamCount_++ == 0) firstVideoStream_ = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        if (audioStreamCount_++ == 0) firstAudioStream_ = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (subtitleStreamCount_++ == 0) firstSubtitleStream_ = i;
        break;
      default:
        break;
    }
  }
}

std::string TCustomAVProbe::FileName() const {
  if (!input_ || !input_->url) return {};
  return DecodeFileName(input_->url);
}

std::string TCustomAVProbe::FormatName() const {
  return input_ && input_->iformat && input_->iformat->name ? input_->iformat->name : "";
}

namespace {

// Today's containers keep the recording time, year and track as tags.
int64_t TimestampFromTags(const AVDictionary* metadata) {
  std::string when = MetadataValue(metadata, "creation_time", "");
  if (when.empty()) return 0;
  int64_t microseconds = 0;
  if (Av().av_parse_time(&microseconds, when.c_str(), 0) < 0) return 0;
  return microseconds / 1000000;
}

int LeadingNumber(const std::string& text) { return text.empty() ? 0 : std::atoi(text.c_str()); }

}  // namespace

void TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& info) {
  info = TFileStreamInfo{};
  if (!input_) {
    SetError(24, "file not loaded.");
    return;
  }
  const AVDictionary* tags = input_->metadata;
  info.StartTime = input_->start_time == kNoPts ? -1 : input_->start_time;
  info.Duration = input_->duration == kNoPts ? -1 : input_->duration;
  info.BitRate = int(input_->bit_rate);
  info.Timestamp = TimestampFromTags(tags);
  std::string year = MetadataValue(tags, "year", MetadataValue(tags, "date", ""));
  info.Year = LeadingNumber(year);
  info.Track = LeadingNumber(MetadataValue(tags, "track", ""));
  info.Title = MetadataValue(tags, "title", "");
  info.Author = MetadataValue(tags, "author", MetadataValue(tags, "artist", ""));
  info.Copyright = MetadataValue(tags, "copyright", "");
  info.Comment = MetadataValue(tags, "comment", "");
  info.Album = MetadataValue(tags, "album", "");
  info.Genre = MetadataValue(tags, "genre", "");
}

void TCustomAVProbe::GetVideoStreamInfo(int index, TVideoStreamInfo& info) {
  info = TVideoStreamInfo{};
  if (!input_) {
    SetError(24, "file not loaded.");
    return;
  }
  if (index == -1) {
    index = firstVideoStream_;
    if (index == -1) {
      SetError(16, "no video stream.");
      return;
    }
  }
  if (index < 0 || index >= streamCount_) {
    SetError(16, StringPrintf("stream index #%d is invalid.", index));
    return;
  }
  const AVStream* stream = input_->streams[index];
  const AVCodecParameters* codec = stream->codecpar;
  if (codec->codec_type != AVMEDIA_TYPE_VIDEO) {
    SetError(16, StringPrintf("stream #%d is not video stream.", index));
    return;
  }
  AVRational timeBase = stream->time_base;
  if (timeBase.den == 0) timeBase.den = timeBase.num != 0 ? timeBase.num : 1;
  const AVRational microseconds{1, 1000000};

  info.Language = MetadataValue(stream->metadata, "language", "");
  info.CodecName = CodecNameText(codec->codec_id, codec->codec_tag, false);
  info.StreamStartTime = stream->start_time;
  info.StartTime = stream->start_time == kNoPts ? -1 : Av().av_rescale_q(stream->start_time, timeBase, microseconds);
  info.StreamDuration = stream->duration;
  info.Duration = stream->duration == kNoPts ? -1 : Av().av_rescale_q(stream->duration, timeBase, microseconds);
  info.BitRate = int(codec->bit_rate);
  info.Height = codec->height;
  info.Width = codec->width;
  AVRational sar = stream->sample_aspect_ratio.num ? stream->sample_aspect_ratio : codec->sample_aspect_ratio;
  info.AspectRatio = sar.num && sar.den && codec->height
                         ? float(double(sar.num) / sar.den * codec->width / codec->height)
                         : 0.0f;
  info.PixFmt = codec->format;
  info.FrameRateNum = stream->r_frame_rate.num;
  info.FrameRateDen = stream->r_frame_rate.den;
}

}  // namespace media
