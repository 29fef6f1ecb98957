// Creating output streams: each takes the settings in force now, and the
// settings that belong to one stream are cleared once it has them.
#include <cmath>
#include <sstream>

#include "media/engine/closest_ratio.h"
#include "media/engine/engine_av.h"
#include "media/engine/options_error.h"
#include "media/engine/options_generic.h"
#include "media/engine/transcoder.h"

namespace media {

namespace {

const AVCodec* EncoderFor(const std::string& name, AVFormatContext* oc, AVMediaType type) {
  if (!name.empty()) {
    const AVCodec* codec = AV(avcodec_find_encoder_by_name)(EncoderNameFor(name).c_str());
    if (codec == nullptr) Raise("Unknown encoder '%s'", name.c_str());
    if (codec->type != type) Raise("Invalid encoder type '%s'", name.c_str());
    return codec;
  }
  AVCodecID id = type == AVMEDIA_TYPE_VIDEO   ? oc->oformat->video_codec
                 : type == AVMEDIA_TYPE_AUDIO ? oc->oformat->audio_codec
                                              : oc->oformat->subtitle_codec;
  const AVCodec* codec = AV(avcodec_find_encoder)(id);
  if (codec == nullptr) Raise("Encoder (codec id %d) not found", static_cast<int>(id));
  return codec;
}

AVRational ClosestAspect(double aspect, int width, int height) {
  double sar = width > 0 && height > 0 ? aspect * height / width : aspect * 3.0 / 4.0;
  SmallRatio q = ClosestRatio(sar, 255);
  return AVRational{q.num, q.den};
}

// "start,end,q/start,end,q..." into the encoder's rate-control overrides.
void ParseRcOverride(AVCodecContext* enc, const std::string& text) {
  if (text.empty()) return;
  std::vector<RcOverride> list;
  std::stringstream in(text);
  std::string entry;
  while (std::getline(in, entry, '/')) {
    int start = 0, end = 0, q = 0;
    if (std::sscanf(entry.c_str(), "%d,%d,%d", &start, &end, &q) != 3) Raise("error parsing rc_override");
    RcOverride o{};
    o.start_frame = start;
    o.end_frame = end;
    if (q > 0) {
      o.qscale = q;
      o.quality_factor = 1.0f;
    } else {
      o.qscale = 0;
      o.quality_factor = -q / 100.0f;
    }
    list.push_back(o);
  }
  enc->rc_override = static_cast<RcOverride*>(AV(av_mallocz)(sizeof(RcOverride) * list.size()));
  if (enc->rc_override == nullptr) Raise("Out of memory");
  std::copy(list.begin(), list.end(), enc->rc_override);
  enc->rc_override_count = static_cast<int>(list.size());
}

uint16_t* CopyMatrix(const std::vector<int16_t>& m) {
  if (m.empty()) return nullptr;
  auto* out = static_cast<uint16_t*>(AV(av_mallocz)(64 * sizeof(uint16_t)));
  for (int i = 0; out != nullptr && i < 64; ++i) out[i] = static_cast<uint16_t>(m[i]);
  return out;
}

// Opens a new stream of the given kind on an output file; the kind's
// pending bitstream filters move onto it.
OutputStream AddOutputStream(AVFormatContext* oc, int file, AVMediaType kind, std::vector<std::string>& filters) {
  if (static_cast<int>(oc->nb_streams) >= kMaxStreams) Raise("Could not alloc stream");
  AVStream* st = AV(avformat_new_stream)(oc, nullptr);
  if (st == nullptr) Raise("Could not alloc stream");
  OutputStream ost;
  ost.file = file;
  ost.st = st;
  ost.plan.kind = kind;
  ost.plan.bitstreamFilters = std::move(filters);
  filters.clear();
  return ost;
}

}  // namespace

void TCustomFFmpeg::NewVideoStream(int file) {
  TaskSettings& s = settings_;
  AVFormatContext* oc = outputs_.at(file).ctx.get();
  OutputStream ost = AddOutputStream(oc, file, AVMEDIA_TYPE_VIDEO, s.videoBitstreamFilters);
  AVStream* st = ost.st;
  if (s.videoCopy) {
    ost.plan.copy = true;
    st->sample_aspect_ratio = ClosestAspect(s.frameAspectRatio, s.frameWidth, s.frameHeight);
    st->codecpar->codec_tag = s.videoTag;
  } else {
    const AVCodec* codec = EncoderFor(s.videoCodecName, oc, AVMEDIA_TYPE_VIDEO);
    ost.plan.encoderName = codec->name;
    ost.enc.reset(AV(avcodec_alloc_context3)(codec));
    if (ost.enc == nullptr) Raise("Could not alloc stream");
    AVCodecContext* enc = ost.enc.get();
    enc->thread_count = s.threadCount;
    if (s.videoTag) enc->codec_tag = s.videoTag;
    if (s.videoGlobalHeader & 1 || (s.videoGlobalHeader == 0 && (oc->oformat->flags & AVFMT_GLOBALHEADER)))
      enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ApplyEncoderOptions(enc, AVMEDIA_TYPE_VIDEO);
    AVRational rate = s.frameRateNum && s.frameRateDen ? AVRational{s.frameRateNum, s.frameRateDen} : AVRational{25, 1};
    if (codec->supported_framerates != nullptr && !s.forceFps)
      rate = codec->supported_framerates[AV(av_find_nearest_q_idx)(rate, codec->supported_framerates)];
    enc->framerate = rate;
    enc->time_base = AVRational{rate.den, rate.num};
    enc->width = s.frameWidth + s.padLeft + s.padRight;
    enc->height = s.frameHeight + s.padTop + s.padBottom;
    enc->sample_aspect_ratio = st->sample_aspect_ratio = ClosestAspect(s.frameAspectRatio, enc->width, enc->height);
    AVPixelFormat fmt = static_cast<AVPixelFormat>(s.pixelFormat);
    if (codec->pix_fmts != nullptr) {
      bool listed = false;
      for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) listed |= *p == fmt;
      if (!listed) fmt = codec->pix_fmts[0];
    }
    // H.264 beyond 8-bit 4:2:0 (High 10, High 4:4:4) plays in few browsers
    // and hardware decoders: a source's deeper or fuller format is only kept
    // when it was asked for.
    if (codec->id == AV_CODEC_ID_H264 && !s.pixelFormatAsked && fmt != AV_PIX_FMT_YUV420P &&
        fmt != AV_PIX_FMT_YUVJ420P)
      fmt = AV_PIX_FMT_YUV420P;
    enc->pix_fmt = fmt;
    if (s.intraOnly) enc->gop_size = 0;
    if (s.videoQScale > 0 || s.sameQuality) {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      enc->global_quality = static_cast<int>(FF_QP2LAMBDA * s.videoQScale);
    }
    enc->intra_matrix = CopyMatrix(s.intraMatrix);
    enc->inter_matrix = CopyMatrix(s.interMatrix);
    ParseRcOverride(enc, s.rcOverride);
    if (enc->rc_initial_buffer_occupancy == 0) enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
    enc->intra_dc_precision = s.intraDcPrecision - 8;
    if (s.doPsnr) enc->flags |= AV_CODEC_FLAG_PSNR;
    if (s.passNumber == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
    if (s.passNumber == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
    ost.plan.privateOptions = s.videoPrivate;
    if (!s.x264Params.empty() && ost.plan.encoderName == "libx264") {
      std::string joined;
      for (const std::string& p : s.x264Params) joined += (joined.empty() ? "" : ":") + p;
      ost.plan.privateOptions.emplace_back("x264-params", joined);
    }
  }
  if (!s.videoLanguage.empty()) AV(av_dict_set)(&st->metadata, "language", s.videoLanguage.c_str(), 0);
  s.videoLanguage.clear();
  s.videoDisable = false;
  s.videoCodecName.clear();
  s.videoCopy = false;
  s.pixelFormat = -1;
  s.pixelFormatAsked = false;
  outputPlans_.at(file).push_back(ost.plan);
  outputStreams_.push_back(std::move(ost));
}

void TCustomFFmpeg::NewAudioStream(int file) {
  TaskSettings& s = settings_;
  AVFormatContext* oc = outputs_.at(file).ctx.get();
  OutputStream ost = AddOutputStream(oc, file, AVMEDIA_TYPE_AUDIO, s.audioBitstreamFilters);
  AVStream* st = ost.st;
  if (s.audioCopy) {
    ost.plan.copy = true;
    st->codecpar->codec_tag = s.audioTag;
  } else {
    const AVCodec* codec = EncoderFor(s.audioCodecName, oc, AVMEDIA_TYPE_AUDIO);
    ost.plan.encoderName = codec->name;
    ost.enc.reset(AV(avcodec_alloc_context3)(codec));
    if (ost.enc == nullptr) Raise("Could not alloc stream");
    AVCodecContext* enc = ost.enc.get();
    enc->thread_count = s.threadCount;
    if (s.audioTag) enc->codec_tag = s.audioTag;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ApplyEncoderOptions(enc, AVMEDIA_TYPE_AUDIO);
    if (s.audioQScale > -99999) {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      enc->global_quality = static_cast<int>(FF_QP2LAMBDA * s.audioQScale);
    }
    const int channels = s.audioChannels > 0 ? s.audioChannels : 2;
    if (s.audioChannelLayout != 0 &&
        AV(av_get_channel_layout_nb_channels)(static_cast<uint64_t>(s.audioChannelLayout)) == channels)
      AV(av_channel_layout_from_mask)(&enc->ch_layout, static_cast<uint64_t>(s.audioChannelLayout));
    else
      AV(av_channel_layout_default)(&enc->ch_layout, channels);
    AVSampleFormat fmt = static_cast<AVSampleFormat>(s.sampleFormat);
    if (codec->sample_fmts != nullptr) {
      bool listed = false;
      for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p) listed |= *p == fmt;
      if (!listed) fmt = codec->sample_fmts[0];
    }
    enc->sample_fmt = fmt;
    enc->sample_rate = s.audioSampleRate;
    enc->time_base = AVRational{1, s.audioSampleRate};
    ost.plan.privateOptions = s.audioPrivate;
  }
  if (!s.audioLanguage.empty()) AV(av_dict_set)(&st->metadata, "language", s.audioLanguage.c_str(), 0);
  s.audioLanguage.clear();
  s.audioDisable = false;
  s.audioCodecName.clear();
  s.audioCopy = false;
  outputPlans_.at(file).push_back(ost.plan);
  outputStreams_.push_back(std::move(ost));
}

void TCustomFFmpeg::NewSubtitleStream(int file) {
  TaskSettings& s = settings_;
  AVFormatContext* oc = outputs_.at(file).ctx.get();
  OutputStream ost = AddOutputStream(oc, file, AVMEDIA_TYPE_SUBTITLE, s.subtitleBitstreamFilters);
  AVStream* st = ost.st;
  if (s.subtitleCopy) {
    ost.plan.copy = true;
    st->codecpar->codec_tag = s.subtitleTag;
  } else {
    const AVCodec* codec = EncoderFor(s.subtitleCodecName, oc, AVMEDIA_TYPE_SUBTITLE);
    ost.plan.encoderName = codec->name;
    ost.enc.reset(AV(avcodec_alloc_context3)(codec));
    if (ost.enc == nullptr) Raise("Could not alloc stream");
    AVCodecContext* enc = ost.enc.get();
    if (s.subtitleTag) enc->codec_tag = s.subtitleTag;
    ApplyEncoderOptions(enc, AVMEDIA_TYPE_SUBTITLE);
    ost.plan.privateOptions = s.subtitlePrivate;
  }
  if (!s.subtitleLanguage.empty()) AV(av_dict_set)(&st->metadata, "language", s.subtitleLanguage.c_str(), 0);
  s.subtitleLanguage.clear();
  s.subtitleDisable = false;
  s.subtitleCodecName.clear();
  s.subtitleCopy = false;
  outputPlans_.at(file).push_back(ost.plan);
  outputStreams_.push_back(std::move(ost));
}

}  // namespace media
