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

// The settings every kind of stream takes; those that belong to one stream
// are cleared once it has them.
struct StreamKindSettings {
  bool& disable;
  bool& copy;
  uint32_t& tag;
  std::string& codecName;
  std::string& language;
  std::vector<std::string>& bitstreamFilters;
  const PrivateOptions& privateOptions;
};

StreamKindSettings KindSettings(TaskSettings& s, int type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      return {s.videoDisable, s.videoCopy, s.videoTag, s.videoCodecName, s.videoLanguage, s.videoBitstreamFilters,
              s.videoPrivate};
    case AVMEDIA_TYPE_AUDIO:
      return {s.audioDisable, s.audioCopy, s.audioTag, s.audioCodecName, s.audioLanguage, s.audioBitstreamFilters,
              s.audioPrivate};
    default:
      return {s.subtitleDisable, s.subtitleCopy, s.subtitleTag, s.subtitleCodecName, s.subtitleLanguage,
              s.subtitleBitstreamFilters, s.subtitlePrivate};
  }
}

bool FormatWantsGlobalHeaders(const AVFormatContext* oc) { return (oc->oformat->flags & AVFMT_GLOBALHEADER) != 0; }

}  // namespace

void TCustomFFmpeg::NewStream(int file, int type, bool threaded, bool globalHeader,
                              const std::function<void(AVStream*)>& copied,
                              const std::function<void(OutputStream&, const AVCodec*, AVCodecContext*)>& encoded) {
  StreamKindSettings kind = KindSettings(settings_, type);
  AVFormatContext* oc = outputs_.at(file).ctx.get();
  if (static_cast<int>(oc->nb_streams) >= kMaxStreams) Raise("Could not alloc stream");
  AVStream* st = AV(avformat_new_stream)(oc, nullptr);
  if (st == nullptr) Raise("Could not alloc stream");
  OutputStream ost;
  ost.file = file;
  ost.st = st;
  ost.plan.kind = static_cast<AVMediaType>(type);
  // The kind's pending bitstream filters move onto this stream.
  ost.plan.bitstreamFilters = std::move(kind.bitstreamFilters);
  kind.bitstreamFilters.clear();
  if (kind.copy) {
    ost.plan.copy = true;
    st->codecpar->codec_tag = kind.tag;
    if (copied) copied(st);
  } else {
    const AVCodec* codec = EncoderFor(kind.codecName, oc, static_cast<AVMediaType>(type));
    ost.plan.encoderName = codec->name;
    ost.enc.reset(AV(avcodec_alloc_context3)(codec));
    if (ost.enc == nullptr) Raise("Could not alloc stream");
    AVCodecContext* enc = ost.enc.get();
    if (threaded) enc->thread_count = settings_.threadCount;
    if (kind.tag) enc->codec_tag = kind.tag;
    if (globalHeader) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The options given by name come before what the kind sets itself.
    ApplyEncoderOptions(enc, type);
    ost.plan.privateOptions = kind.privateOptions;
    if (encoded) encoded(ost, codec, enc);
  }
  if (!kind.language.empty()) AV(av_dict_set)(&st->metadata, "language", kind.language.c_str(), 0);
  kind.language.clear();
  kind.disable = false;
  kind.codecName.clear();
  kind.copy = false;
  outputPlans_.at(file).push_back(ost.plan);
  outputStreams_.push_back(std::move(ost));
}

void TCustomFFmpeg::NewVideoStream(int file) {
  TaskSettings& s = settings_;
  const bool globalHeader = s.videoGlobalHeader & 1 ||
                            (s.videoGlobalHeader == 0 && FormatWantsGlobalHeaders(outputs_.at(file).ctx.get()));
  NewStream(
      file, AVMEDIA_TYPE_VIDEO, true, globalHeader,
      [&](AVStream* st) { st->sample_aspect_ratio = ClosestAspect(s.frameAspectRatio, s.frameWidth, s.frameHeight); },
      [&](OutputStream& ost, const AVCodec* codec, AVCodecContext* enc) {
        AVRational rate =
            s.frameRateNum && s.frameRateDen ? AVRational{s.frameRateNum, s.frameRateDen} : AVRational{25, 1};
        if (codec->supported_framerates != nullptr && !s.forceFps)
          rate = codec->supported_framerates[AV(av_find_nearest_q_idx)(rate, codec->supported_framerates)];
        enc->framerate = rate;
        enc->time_base = AVRational{rate.den, rate.num};
        enc->width = s.frameWidth + s.padLeft + s.padRight;
        enc->height = s.frameHeight + s.padTop + s.padBottom;
        enc->sample_aspect_ratio = ost.st->sample_aspect_ratio =
            ClosestAspect(s.frameAspectRatio, enc->width, enc->height);
        AVPixelFormat fmt = static_cast<AVPixelFormat>(s.pixelFormat);
        if (codec->pix_fmts != nullptr) {
          bool listed = false;
          for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) listed |= *p == fmt;
          if (!listed) fmt = codec->pix_fmts[0];
        }
        // H.264 beyond 8-bit 4:2:0 (High 10, High 4:4:4) plays in few browsers
        // and hardware decoders: a source's deeper or fuller format is only
        // kept when it was asked for.
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
        if (!s.x264Params.empty() && ost.plan.encoderName == "libx264") {
          std::string joined;
          for (const std::string& p : s.x264Params) joined += (joined.empty() ? "" : ":") + p;
          ost.plan.privateOptions.emplace_back("x264-params", joined);
        }
      });
  s.pixelFormat = -1;
  s.pixelFormatAsked = false;
}

void TCustomFFmpeg::NewAudioStream(int file) {
  TaskSettings& s = settings_;
  NewStream(file, AVMEDIA_TYPE_AUDIO, true, FormatWantsGlobalHeaders(outputs_.at(file).ctx.get()), nullptr,
            [&](OutputStream&, const AVCodec* codec, AVCodecContext* enc) {
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
            });
}

void TCustomFFmpeg::NewSubtitleStream(int file) {
  NewStream(file, AVMEDIA_TYPE_SUBTITLE, false, false, nullptr, nullptr);
}

}  // namespace media
