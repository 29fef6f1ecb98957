// Opening a task's inputs and outputs and creating output streams from the
// current settings.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/options_generic.h"
#include "media/engine/transcoder.h"
#include "media/unicode_io.h"
#include "media/utils.h"

namespace media {

std::string EncoderNameFor(const std::string& codecName) {
  // The old AAC encoder library is not part of today's builds; the native
  // encoder produces the same kind of stream.
  if (codecName == "libfaac") return "aac";
  return codecName;
}

namespace {

const AVCodec* FindCodecByName(const std::string& name, AVMediaType type, bool encoder) {
  const char* what = encoder ? "encoder" : "decoder";
  const AVCodec* codec = encoder ? AV(avcodec_find_encoder_by_name)(EncoderNameFor(name).c_str())
                                 : AV(avcodec_find_decoder_by_name)(name.c_str());
  if (codec == nullptr) Raise("Unknown %s '%s'", what, name.c_str());
  if (codec->type != type) Raise("Invalid %s type '%s'", what, name.c_str());
  return codec;
}

int OptionFlagsFor(AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO: return AV_OPT_FLAG_VIDEO_PARAM;
    case AVMEDIA_TYPE_AUDIO: return AV_OPT_FLAG_AUDIO_PARAM;
    case AVMEDIA_TYPE_SUBTITLE: return AV_OPT_FLAG_SUBTITLE_PARAM;
    default: return 0;
  }
}

}  // namespace

bool TCustomFFmpeg::OpenInput(const std::string& fileName) {
  lastError_.clear();
  try {
    OpenInputOrThrow(fileName);
    return true;
  } catch (const std::exception& e) {
    if (lastError_.empty()) lastError_ = e.what();
    return false;
  }
}

void TCustomFFmpeg::OpenInputOrThrow(const std::string& fileName) {
  TaskSettings& s = settings_;
  if (static_cast<int>(inputs_.size()) >= maxFiles_) Raise("max input files %d reached", maxFiles_);
  const AVInputFormat* format = nullptr;
  if (!s.forcedFormat.empty()) {
    format = AV(av_find_input_format)(s.forcedFormat.c_str());
    if (format == nullptr) Raise("Unknown input format: \"%s\"", s.forcedFormat.c_str());
    s.forcedFormat.clear();
  }
  const std::pair<const std::string*, AVMediaType> forced[] = {{&s.videoCodecName, AVMEDIA_TYPE_VIDEO},
                                                               {&s.audioCodecName, AVMEDIA_TYPE_AUDIO},
                                                               {&s.subtitleCodecName, AVMEDIA_TYPE_SUBTITLE}};
  const AVCodec* forcedDecoders[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (forced[i].first->empty()) continue;
    try {
      forcedDecoders[i] = FindCodecByName(*forced[i].first, forced[i].second, false);
    } catch (...) {
      s.videoCodecName.clear();
      s.audioCodecName.clear();
      s.subtitleCodecName.clear();
      throw;
    }
  }
  const std::string libraryName = UnicodeFileName(fileName);
  // Nothing raises between the allocation and the opening, which frees the
  // context itself when it fails; once open, the input's owner closes it.
  AVFormatContext* ctx = AV(avformat_alloc_context)();
  if (ctx == nullptr) Raise("avformat_alloc_context failed");
  GenericApplyOptions(optionContexts_.get(), ctx, -1, AV_OPT_FLAG_DECODING_PARAM);
  ctx->flags |= AVFMT_FLAG_NONBLOCK;
  // Looping an input is the picture-sequence reader's own option; readers
  // without it leave the entry unused.
  AVDictionary* openOptions = nullptr;
  if (s.loopInput) AV(av_dict_set)(&openOptions, "loop", "1", 0);
  int err = OpenInputFile(&ctx, libraryName, format, &openOptions);
  AV(av_dict_free)(&openOptions);
  if (err < 0) {
    lastError_ = ::media::ErrorText(fileName, err);
    throw FFmpegException(lastError_);
  }
  InputFile in;
  in.ctx.reset(ctx);

  if (s.programId != 0) {
    bool found = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) ctx->streams[i]->discard = AVDISCARD_ALL;
    for (unsigned p = 0; p < ctx->nb_programs; ++p) {
      AVProgram* program = ctx->programs[p];
      if (program->id == s.programId) {
        found = true;
        program->discard = AVDISCARD_DEFAULT;
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k)
          ctx->streams[program->stream_index[k]]->discard = AVDISCARD_DEFAULT;
      } else {
        program->discard = AVDISCARD_ALL;
      }
    }
    s.programId = 0;
    if (!found) Raise("Specified program id not found");
  }

  {
    std::lock_guard<std::mutex> lock(CodecLock());
    err = AV(avformat_find_stream_info)(ctx, nullptr);
  }
  if (err < 0) {
    if (s.verbosity >= 0) {
      lastError_ = FormatText("%s: could not find codec parameters", fileName.c_str());
      EngineLog(LogVerbose, lastError_);
    }
    throw FFmpegException(FormatText("%s: could not find codec parameters", fileName.c_str()));
  }

  // A start at or after the end would give an empty file that still looks
  // like a success.
  if (s.startTime > 0 && ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0 && s.startTime >= ctx->duration)
    Raise("Start time %s is after the end of %s (its duration is %s)", DurationText(s.startTime).c_str(),
          fileName.c_str(), DurationText(ctx->duration).c_str());

  int64_t timestamp = s.startTime;
  if (ctx->start_time != AV_NOPTS_VALUE) timestamp += ctx->start_time;
  if (s.startTime != 0) {
    if (AV(avformat_seek_file)(ctx, -1, INT64_MIN, timestamp, timestamp, 0) < 0 && s.verbosity > 0)
      EngineLog(LogVerbose, FormatText("%s: could not seek to position %0.3f", fileName.c_str(),
                                       static_cast<double>(timestamp) / AV_TIME_BASE));
  }

  in.firstStream = static_cast<int>(inputStreams_.size());
  in.seekStart = s.startTime;
  for (int i = 0; i < kMaxStreams; ++i) in.tsScale[i] = s.tsScale[i], s.tsScale[i] = 0;
  // Timestamps start at the seek position also when they are copied: the
  // output's own timeline begins with its first picture.
  in.tsOffset = s.copyTimestamps ? s.inputTsOffset - s.startTime : s.inputTsOffset - timestamp;
  s.startTime = 0;

  // The input's streams join the task's table only once the whole input is
  // taken: a failure leaves no stream of a closed input behind.
  std::vector<InputStream> streams;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* st = ctx->streams[i];
    AVCodecParameters* par = st->codecpar;
    InputStream ist;
    ist.file = static_cast<int>(inputs_.size());
    ist.st = st;
    ist.probedFrames = st->nb_frames;
    if (par->codec_type < AVMEDIA_TYPE_VIDEO || par->codec_type > AVMEDIA_TYPE_ATTACHMENT)
      Raise("invalid codec_type");
    const AVCodec* decoder = nullptr;
    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        decoder = forcedDecoders[0];
        s.frameWidth = par->width;
        s.frameHeight = par->height;
        AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
        if (par->width > 0 && par->height > 0)
          s.frameAspectRatio = static_cast<float>((sar.num ? av_q2d(sar) : 1.0) * par->width / par->height);
        else
          s.frameAspectRatio = 4.0f / 3.0f;
        s.pixelFormat = par->format < 0 ? 0 : par->format;
        s.pixelFormatAsked = false;
        AVRational rate = st->r_frame_rate.num ? st->r_frame_rate : st->avg_frame_rate;
        if (st->avg_frame_rate.num && rate.num && av_cmp_q(rate, st->avg_frame_rate) != 0 && s.verbosity >= 0)
          EngineLog(LogInfo, FormatText("Seems stream %d codec frame rate differs from container frame rate: "
                                        "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                                        i, av_q2d(st->avg_frame_rate), st->avg_frame_rate.num,
                                        st->avg_frame_rate.den, av_q2d(rate), rate.num, rate.den));
        s.frameRateNum = rate.num;
        s.frameRateDen = rate.den;
        s.frameRateAsked = false;
        if (s.videoDisable) st->discard = AVDISCARD_ALL;
        else if (s.videoDiscard) st->discard = static_cast<AVDiscard>(s.videoDiscard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        decoder = forcedDecoders[1];
        s.audioChannels = par->ch_layout.nb_channels;
        s.audioChannelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
        s.audioSampleRate = par->sample_rate;
        s.sampleFormat = par->format;
        if (s.audioDisable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        decoder = forcedDecoders[2];
        if (s.subtitleDisable) st->discard = AVDISCARD_ALL;
        break;
      default:
        break;
    }
    if (decoder == nullptr) decoder = AV(avcodec_find_decoder)(par->codec_id);
    if (decoder != nullptr &&
        (par->codec_type == AVMEDIA_TYPE_VIDEO || par->codec_type == AVMEDIA_TYPE_AUDIO ||
         par->codec_type == AVMEDIA_TYPE_SUBTITLE)) {
      ist.dec.reset(AV(avcodec_alloc_context3)(decoder));
      if (ist.dec == nullptr) Raise("Out of memory");
      AV(avcodec_parameters_to_context)(ist.dec.get(), par);
      ist.dec->pkt_timebase = st->time_base;
      ist.dec->thread_count = s.threadCount;
      GenericApplyOptions(optionContexts_.get(), ist.dec.get(), par->codec_type,
                          OptionFlagsFor(par->codec_type) | AV_OPT_FLAG_DECODING_PARAM);
      // A motion-estimation threshold wants the source's motion vectors: the
      // decoder hands them out with each picture (what the old motion-vector
      // debug flag did).
      if (par->codec_type == AVMEDIA_TYPE_VIDEO && s.meThreshold != 0) ist.dec->flags2 |= AV_CODEC_FLAG2_EXPORT_MVS;
    }
    streams.push_back(std::move(ist));
  }

  if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > totalDuration_ && s.recordingTime == INT64_MAX)
    totalDuration_ = ctx->duration;
  if (s.verbosity >= 0) AV(av_dump_format)(ctx, static_cast<int>(inputs_.size()), libraryName.c_str(), 0);
  s.captureChannel = 0;
  s.videoCodecName.clear();
  s.audioCodecName.clear();
  s.subtitleCodecName.clear();
  in.streamCount = static_cast<int>(streams.size());
  for (InputStream& ist : streams) inputStreams_.push_back(std::move(ist));
  inputs_.push_back(std::move(in));
}

OutputFile::~OutputFile() {
  // The file first (however it was opened; a staging file never committed
  // goes), then the context with its streams (its owner).
  if (ctx != nullptr && !(ctx->oformat->flags & AVFMT_NOFILE)) CloseOutputIo(&ctx->pb, staged);
}

int TCustomFFmpeg::OpenOutput(const std::string& fileName, bool join) {
  lastError_.clear();
  TaskSettings& s = settings_;
  const size_t outputsBefore = outputs_.size();
  try {
    if (joined_) Raise("Cannot join more than one output file.");
    const AVOutputFormat* format = nullptr;
    if (!s.forcedFormat.empty()) {
      format = AV(av_guess_format)(s.forcedFormat.c_str(), nullptr, nullptr);
      if (format == nullptr)
        Raise("Requested output format '%s' is not a suitable output format", s.forcedFormat.c_str());
    } else {
      format = AV(av_guess_format)(nullptr, fileName.c_str(), nullptr);
      if (format == nullptr) Raise("Unable to find a suitable output format for '%s'", fileName.c_str());
    }
    s.forcedFormat.clear();
    AVFormatContext* oc = nullptr;
    if (AV(avformat_alloc_output_context2)(&oc, format, nullptr, fileName.c_str()) < 0 || oc == nullptr)
      Raise("avformat_alloc_context failed");
    OutputFile of;
    of.ctx.reset(oc);
    of.fileName = fileName;

    bool wantVideo = s.videoCopy || format->video_codec != AV_CODEC_ID_NONE || !s.videoCodecName.empty();
    bool wantAudio = s.audioCopy || format->audio_codec != AV_CODEC_ID_NONE || !s.audioCodecName.empty();
    bool wantSubtitle = s.subtitleCopy || !s.subtitleCodecName.empty();
    if (!inputs_.empty()) {
      bool hasVideo = false, hasAudio = false, hasSubtitle = false;
      for (const InputStream& ist : inputStreams_) {
        AVMediaType t = ist.st->codecpar->codec_type;
        hasVideo |= t == AVMEDIA_TYPE_VIDEO;
        hasAudio |= t == AVMEDIA_TYPE_AUDIO;
        hasSubtitle |= t == AVMEDIA_TYPE_SUBTITLE;
      }
      wantVideo &= hasVideo;
      wantAudio &= hasAudio;
      wantSubtitle &= hasSubtitle;
    }
    wantVideo &= !s.videoDisable;
    wantAudio &= !s.audioDisable;
    wantSubtitle &= !s.subtitleDisable;

    outputs_.push_back(std::move(of));
    outputPlans_.emplace_back();
    const int file = static_cast<int>(outputs_.size()) - 1;
    try {
      if (wantVideo) NewVideoStream(file);
    } catch (const FFmpegException& e) {
      Raise("new_video_stream fail: %s", e.what());
    }
    try {
      if (wantAudio) NewAudioStream(file);
    } catch (const FFmpegException& e) {
      Raise("new_audio_stream fail: %s", e.what());
    }
    try {
      if (wantSubtitle) NewSubtitleStream(file);
    } catch (const FFmpegException& e) {
      Raise("new_subtitle_stream fail: %s", e.what());
    }

    if (s.recordingTimestamp != 0) {
      char stamp[32];
      std::time_t t = static_cast<std::time_t>(s.recordingTimestamp);
      std::tm utc{};
      gmtime_r(&t, &utc);
      std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
      AV(av_dict_set)(&oc->metadata, "creation_time", stamp, 0);
    }
    for (auto it = s.metadata.rbegin(); it != s.metadata.rend(); ++it)
      AV(av_dict_set)(&oc->metadata, it->first.c_str(), it->second.c_str(), 0);
    s.metadata.clear();

    if ((format->flags & AVFMT_NEEDNUMBER) && !AV(av_filename_number_test)(fileName.c_str()))
      throw FFmpegException(::media::ErrorText(fileName, AVERROR(EINVAL)));
    if (!(format->flags & AVFMT_NOFILE)) {
      const int opened = OpenOutputIo(oc, fileName, outputs_[file].staged);
      if (opened < 0) throw FFmpegException(OpenFailureText(fileName, opened));
    }
    oc->max_delay = static_cast<int>(s.muxMaxDelay * 1000000);
    if (s.muxPreload > 0) AV(av_opt_set_int)(oc, "preload", static_cast<int64_t>(s.muxPreload * 1000000), AV_OPT_SEARCH_CHILDREN);
    oc->flags |= AVFMT_FLAG_NONBLOCK;
    GenericApplyOptions(optionContexts_.get(), oc, -1, AV_OPT_FLAG_ENCODING_PARAM);
    // Output looping (-1 none, 0 for ever, N times) is the animated-picture
    // writers' own "loop" option; other writers have none and are left alone.
    if (oc->oformat->priv_class != nullptr && oc->priv_data != nullptr &&
        AV(av_opt_find)(oc->priv_data, "loop", nullptr, 0, 0) != nullptr)
      AV(av_opt_set_int)(oc->priv_data, "loop", s.loopOutput, 0);

    if (join && inputs_.size() > 1) {
      joined_ = true;
      int64_t sum = 0;
      for (const InputFile& in : inputs_)
        if (in.ctx->duration != AV_NOPTS_VALUE) sum += in.ctx->duration;
      totalDuration_ = sum == 0 ? -1 : sum;
    }
    return file;
  } catch (const std::exception& e) {
    lastError_ = e.what();
    // Nothing half-made stays behind: neither the task's entries (its
    // streams first, then the output, which closes its file and removes its
    // staging file) nor a file under the real name.
    std::erase_if(outputStreams_,
                  [&](const OutputStream& ost) { return ost.file >= static_cast<int>(outputsBefore); });
    while (outputs_.size() > outputsBefore) outputs_.pop_back();
    outputPlans_.resize(outputsBefore);
    return -1;
  }
}

void TCustomFFmpeg::AddStreamToLastOutput(int kind) {
  if (outputs_.empty()) Raise("At least one output file must be specified");
  const int file = static_cast<int>(outputs_.size()) - 1;
  if (kind == 0) NewVideoStream(file);
  else if (kind == 1) NewAudioStream(file);
  else NewSubtitleStream(file);
}

}  // namespace media
