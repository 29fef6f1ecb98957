// The set-up when a task starts: which input stream feeds which output
// stream, encoder preparation, opening codecs and writing headers.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "media/display_rotation.h"
#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/options_generic.h"
#include "media/engine/transcoder.h"
#include "media/utils.h"

namespace media {

namespace {

const char* TypeName(int type) {
  const char* n = AV(av_get_media_type_string)(static_cast<AVMediaType>(type));
  return n != nullptr ? n : "unknown";
}

}  // namespace

// The input stream of `type` that feeds an output stream, among the streams
// of `onlyFile` (join mode) or of every input (-1).
static int PickSource(const std::vector<InputStream>& streams, int type, int onlyFile, bool allowTaken) {
  int best = -1;
  int64_t bestFrames = -1;
  for (size_t i = 0; i < streams.size(); ++i) {
    const InputStream& ist = streams[i];
    if (ist.st->codecpar->codec_type != type || ist.st->discard == AVDISCARD_ALL) continue;
    if (onlyFile >= 0 && ist.file != onlyFile) continue;
    if (ist.used && !allowTaken) continue;
    if (ist.probedFrames > bestFrames) {
      best = static_cast<int>(i);
      bestFrames = ist.probedFrames;
    }
  }
  return best;
}

void TCustomFFmpeg::BuildStreamTables() {
  TaskSettings& s = settings_;
  for (size_t f = 0; f < outputs_.size(); ++f)
    if (outputs_[f].ctx->nb_streams == 0) Raise("Output file #%d does not contain any stream", static_cast<int>(f));
  if (!s.streamMaps.empty()) {
    if (s.streamMaps.size() != outputStreams_.size()) Raise("Number of stream maps must match number of output streams");
    for (size_t i = 0; i < outputStreams_.size(); ++i) {
      const StreamMap& m = s.streamMaps[i];
      if (m.file < 0 || m.file >= InputCount() || m.stream < 0 ||
          m.stream >= static_cast<int>(inputs_[m.file].ctx->nb_streams))
        Raise("Could not find input stream #%d.%d", m.file, m.stream);
      if (m.syncFile < 0 || m.syncFile >= InputCount() || m.syncStream < 0 ||
          m.syncStream >= static_cast<int>(inputs_[m.syncFile].ctx->nb_streams))
        Raise("Could not find sync stream #%d.%d", m.syncFile, m.syncStream);
      OutputStream& ost = outputStreams_[i];
      const int source = inputs_[m.file].firstStream + m.stream;
      const int inType = inputStreams_[source].st->codecpar->codec_type;
      if (inType != ost.plan.kind)
        Raise("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.file, m.stream, TypeName(inType),
              ost.file, ost.st->index, TypeName(ost.plan.kind));
      ost.source = source;
    }
  } else {
    for (OutputStream& ost : outputStreams_) {
      int source = PickSource(inputStreams_, ost.plan.kind, joined_ ? 0 : -1, false);
      if (source < 0 && !joined_) source = PickSource(inputStreams_, ost.plan.kind, -1, true);
      if (source < 0)
        Raise("Could not find input stream matching output stream #%d.%d (%s)", ost.file, ost.st->index,
              TypeName(ost.plan.kind));
      ost.source = source;
      inputStreams_[source].used = true;
      if (joined_) {
        // Each further input feeds the same output stream in its turn.
        ost.sourceBySegment.assign(inputs_.size(), -1);
        ost.sourceBySegment[0] = source;
        for (int f = 1; f < InputCount(); ++f) {
          int next = PickSource(inputStreams_, ost.plan.kind, f, false);
          if (next < 0)
            Raise("Could not find input stream matching output stream #%d.%d (%s)", ost.file, ost.st->index,
                  TypeName(ost.plan.kind));
          ost.sourceBySegment[f] = next;
          inputStreams_[next].used = true;
          inputStreams_[next].decoding = !ost.plan.copy;
        }
      }
    }
  }
  for (OutputStream& ost : outputStreams_) {
    InputStream& ist = inputStreams_[ost.source];
    ist.used = true;
    if (!ost.plan.copy) ist.decoding = true;
  }
}

void TCustomFFmpeg::PrepareEncoders() {
  TaskSettings& s = settings_;
  for (size_t i = 0; i < outputStreams_.size(); ++i) {
    OutputStream& ost = outputStreams_[i];
    InputStream& ist = inputStreams_[ost.source];
    AV(av_dict_copy)(&ost.st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
    if (ost.plan.copy) {
      if (ost.plan.kind == AVMEDIA_TYPE_VIDEO) {
        if (OnHook) Raise("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        if (s.vhookInUse) Raise("-vcodec copy and -vhook are incompatible (frames are not decoded)");
        if (PreviewFlags() != 0) Raise("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
      } else if (ost.plan.kind == AVMEDIA_TYPE_AUDIO) {
        if (s.audioVolume != 256) Raise("-acodec copy and -vol are incompatible (frames are not decoded)");
      } else if (ost.plan.kind != AVMEDIA_TYPE_SUBTITLE) {
        Raise("invalid codec_type of output stream");
      }
      uint32_t tag = ost.st->codecpar->codec_tag;
      AV(avcodec_parameters_copy)(ost.st->codecpar, ist.st->codecpar);
      AVFormatContext* oc = outputs_[ost.file].ctx.get();
      if (tag != 0)
        ost.st->codecpar->codec_tag = tag;
      else if (oc->oformat->codec_tag != nullptr &&
               AV(av_codec_get_id)(oc->oformat->codec_tag, ist.st->codecpar->codec_tag) != ist.st->codecpar->codec_id)
        ost.st->codecpar->codec_tag = 0;
      else if (oc->oformat->codec_tag != nullptr)
        ost.st->codecpar->codec_tag = ist.st->codecpar->codec_tag;
      else
        ost.st->codecpar->codec_tag = 0;
      ost.st->time_base = ist.st->time_base;
      if (ost.plan.kind == AVMEDIA_TYPE_VIDEO) ost.st->sample_aspect_ratio = ist.st->sample_aspect_ratio;
      continue;
    }
    if (ost.plan.kind == AVMEDIA_TYPE_VIDEO) PrepareVideoEncoder(ost, ist);
    if (s.passNumber != 0 && ost.enc != nullptr) {
      std::string name = FormatText("%s-%d.log", s.passLogFile.empty() ? "ffmpeg2pass" : s.passLogFile.c_str(),
                                    static_cast<int>(i));
      if (s.passNumber == 1) {
        ost.passLog.reset(std::fopen(name.c_str(), "wb"));
        if (ost.passLog == nullptr) Raise("Cannot write log file %s for pass-1 encoding", name.c_str());
      } else {
        std::ifstream in(name, std::ios::binary);
        if (!in) Raise("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str());
        std::stringstream content;
        content << in.rdbuf();
        std::string text = content.str();
        char* stats = static_cast<char*>(AV(av_malloc)(text.size() + 1));
        if (stats == nullptr)
          Raise("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding", name.c_str());
        std::memcpy(stats, text.c_str(), text.size() + 1);
        ost.enc->stats_in = stats;
      }
    }
  }
}

void TCustomFFmpeg::PrepareVideoEncoder(OutputStream& ost, InputStream& ist) {
  TaskSettings& s = settings_;
  AVCodecContext* enc = ost.enc.get();
  if (enc->pix_fmt == AV_PIX_FMT_NONE) Raise("Video pixel format is unknown, stream cannot be encoded");
  ost.video.cropTop = s.cropTop;
  ost.video.cropBottom = s.cropBottom;
  ost.video.cropLeft = s.cropLeft;
  ost.video.cropRight = s.cropRight;
  ost.video.padTop = s.padTop;
  ost.video.padBottom = s.padBottom;
  ost.video.padLeft = s.padLeft;
  ost.video.padRight = s.padRight;
  ost.video.crop = s.cropTop || s.cropBottom || s.cropLeft || s.cropRight;
  ost.video.pad = s.padTop || s.padBottom || s.padLeft || s.padRight;
  const AVCodecParameters* par = ist.st->codecpar;
  ost.video.rescale = par->width + s.padLeft + s.padRight - s.cropLeft - s.cropRight != enc->width ||
                      par->height + s.padTop + s.padBottom - s.cropTop - s.cropBottom != enc->height ||
                      par->format != enc->pix_fmt;
  if ((ost.video.pad || ost.video.rescale) && !ost.video.AllocateScaled(enc, PadColour{s.padY, s.padCb, s.padCr}))
    Raise(ost.video.scaled == nullptr ? "Cannot allocate temp picture, check pix fmt" : "avpicture_alloc fail");
  ost.video.srcW = par->width;
  ost.video.srcH = par->height;
  ost.video.srcFmt = par->format;
  // A damaged header may leave the picture's format or size unknown: the
  // scaler is then made for the first decoded picture (the scaler asserts on
  // an unknown format instead of failing).
  const bool sourceKnown = AV(av_pix_fmt_desc_get)(static_cast<AVPixelFormat>(par->format)) != nullptr &&
                           par->width > 0 && par->height > 0;
  if ((ost.video.pad || ost.video.rescale) && sourceKnown) {
    ost.video.sws.reset(AV(sws_getContext)(par->width - s.cropLeft - s.cropRight,
                                           par->height - s.cropTop - s.cropBottom,
                                           static_cast<AVPixelFormat>(par->format), enc->width - s.padLeft - s.padRight,
                                           enc->height - s.padTop - s.padBottom, enc->pix_fmt,
                                           GenericScalerFlags(optionContexts_.get()), nullptr, nullptr, nullptr));
    if (ost.video.sws == nullptr) Raise("Cannot get resampling context");
  }
  // A clip a phone stored turned by a quarter keeps its shape: the asked
  // frame box and its pixel shape turn with it, and the filters turn the
  // pictures.
  const int rotation = DisplayRotationOf(ist.st);
  if ((rotation == 90 || rotation == 270) && !ost.video.pad) {
    std::swap(enc->width, enc->height);
    std::swap(enc->sample_aspect_ratio.num, enc->sample_aspect_ratio.den);
    if (enc->sample_aspect_ratio.den == 0) enc->sample_aspect_ratio = AVRational{0, 1};
    ost.st->sample_aspect_ratio = enc->sample_aspect_ratio;
  }
  if (!s.videoFilters.empty() || rotation != 0) BuildVideoFilters(ost, ist);
}

void TCustomFFmpeg::OpenCodecs() {
  TaskSettings& s = settings_;
  size_t maxBuffer = 262144;
  for (size_t i = 0; i < outputStreams_.size(); ++i) {
    OutputStream& ost = outputStreams_[i];
    if (ost.plan.copy || ost.enc == nullptr) {
      if (!ost.plan.copy && ost.enc == nullptr)
        Raise("Encoder (codec id %d) not found for output stream #%d.%d (%s)", 0, ost.file, ost.st->index,
              TypeName(ost.plan.kind));
      continue;
    }
    if (ost.plan.kind == AVMEDIA_TYPE_VIDEO)
      maxBuffer = std::max(maxBuffer, static_cast<size_t>(6 * ost.enc->width * ost.enc->height + 200));
    AVDictionary* opts = nullptr;
    for (auto& [k, v] : ost.plan.privateOptions) AV(av_dict_set)(&opts, k.c_str(), v.c_str(), 0);
    if (ost.enc->thread_count == 0) ost.enc->thread_count = codecThreads_;
    int err;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      err = AV(avcodec_open2)(ost.enc.get(), ost.enc->codec, &opts);
    }
    AV(av_dict_free)(&opts);
    if (err < 0)
      Raise("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect parameters such as "
            "bit_rate, rate, width or height. Please check error log message to find out more detail "
            "information.",
            ost.file, ost.st->index, TypeName(ost.plan.kind));
    ost.opened = true;
    extraSize_ += ost.enc->extradata_size;
    AV(avcodec_parameters_from_context)(ost.st->codecpar, ost.enc.get());
    ost.st->time_base = ost.enc->time_base;
    if (ost.plan.kind == AVMEDIA_TYPE_VIDEO) ost.st->avg_frame_rate = ost.enc->framerate;
    if (ost.plan.kind == AVMEDIA_TYPE_AUDIO) ost.audio.Open(ost.enc.get());
  }
  for (OutputStream& ost : outputStreams_) {
    AVBSFContext* previous = nullptr;
    for (const std::string& spec : ost.plan.bitstreamFilters) {
      std::string name = spec.substr(0, spec.find('='));
      const AVBitStreamFilter* filter = AV(av_bsf_get_by_name)(name.c_str());
      AVBSFContext* bsf = nullptr;
      if (filter == nullptr || AV(av_bsf_alloc)(filter, &bsf) < 0) Raise("Unknown bitstream filter %s", name.c_str());
      ost.bsfs.emplace_back(bsf);
      AV(avcodec_parameters_copy)(bsf->par_in, previous ? previous->par_out : ost.st->codecpar);
      bsf->time_base_in = ost.st->time_base;
      if (AV(av_bsf_init)(bsf) < 0) Raise("Unknown bitstream filter %s", name.c_str());
      previous = bsf;
    }
  }
  for (size_t i = 0; i < inputStreams_.size(); ++i) {
    InputStream& ist = inputStreams_[i];
    if (!ist.decoding) continue;
    const int streamIndex = ist.st->index;
    if (ist.dec == nullptr)
      Raise("Decoder (codec id %d) not found for input stream #%d.%d (%s)", static_cast<int>(ist.st->codecpar->codec_id),
            ist.file, streamIndex, TypeName(ist.st->codecpar->codec_type));
    if (ist.dec->thread_count == 0) ist.dec->thread_count = codecThreads_;
    int err;
    {
      std::lock_guard<std::mutex> lock(CodecLock());
      err = AV(avcodec_open2)(ist.dec.get(), ist.dec->codec, nullptr);
    }
    if (err < 0)
      Raise("Error while opening decoder for input stream #%d.%d (%s)", ist.file, streamIndex,
            TypeName(ist.st->codecpar->codec_type));
    ist.opened = true;
  }
  (void)s;
  (void)maxBuffer;  // today's encoders size their own packets
}

void TCustomFFmpeg::WriteHeaders() {
  for (size_t m = 0; m < settings_.metaDataMaps.size(); ++m) {
    const MetaDataMap& map = settings_.metaDataMaps[m];
    if (map.outFile < 0 || map.outFile >= OutputCount())
      Raise("Invalid output file index %d map_meta_data(%d,%d)", map.outFile, map.outFile, map.inFile);
    if (map.inFile < 0 || map.inFile >= InputCount())
      Raise("Invalid input file index %d map_meta_data(%d,%d)", map.inFile, map.outFile, map.inFile);
    AV(av_dict_copy)(&outputs_[map.outFile].ctx->metadata, inputs_[map.inFile].ctx->metadata, 0);
  }
  for (size_t f = 0; f < outputs_.size(); ++f) {
    if (AV(avformat_write_header)(outputs_[f].ctx.get(), nullptr) < 0)
      Raise("Could not write header for output file #%d (incorrect codec parameters ?)", static_cast<int>(f));
    outputs_[f].headerWritten = true;
  }
}

void TCustomFFmpeg::LogMapping() {
  if (settings_.verbosity < 0) return;
  EngineLog(LogVerbose, "Stream mapping:");
  for (const OutputStream& ost : outputStreams_) {
    const InputStream& ist = inputStreams_[ost.source];
    EngineLog(LogVerbose, FormatText("  Stream #%d.%d -> #%d.%d", ist.file, ist.st->index, ost.file, ost.st->index));
  }
}

}  // namespace media
