// Video frames on their way from the decoder to the encoder: the custom hook
// and plug-in hooks, frame-rate sync (drop, duplicate), crop, scale, pad,
// filters, encoding and the preview.
#include <cmath>
#include <cstring>

#include "media/bitmap.h"
#include "media/engine/deinterlace.h"
#include "media/display_rotation.h"
#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"
#include "media/engine/transcoder.h"
#include "media/utils.h"

namespace media {

void TCustomFFmpeg::SetPreviewFlags(int flags) {
  std::unique_ptr<TPreviewer> closing;  // the host's window goes after the lock
  std::lock_guard<std::mutex> lock(previewMutex_);
  previewFlags_ = flags;
  if (!(flags & 1)) closing = std::move(previewer_);
}

int TCustomFFmpeg::PreviewFlags() const { return previewFlags_; }

void TCustomFFmpeg::BuildVideoFilters(OutputStream& ost, InputStream& ist) {
  TaskSettings& s = settings_;
  const AVCodecParameters* par = ist.st->codecpar;
  ost.video.graph.reset(AV(avfilter_graph_alloc)());
  if (ost.video.graph == nullptr) Raise("Error opening filters!");
  std::string srcArgs = FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1", par->width,
                                   par->height, par->format, AV_TIME_BASE);
  if (AV(avfilter_graph_create_filter)(&ost.video.bufferSrc, AV(avfilter_get_by_name)("buffer"), "in", srcArgs.c_str(),
                                       nullptr, ost.video.graph.get()) < 0 ||
      AV(avfilter_graph_create_filter)(&ost.video.bufferSink, AV(avfilter_get_by_name)("buffersink"), "out", nullptr,
                                       nullptr, ost.video.graph.get()) < 0)
    Raise("Error opening filters!");
  AVCodecContext* enc = ost.enc.get();
  std::string chain;
  if (ost.video.crop)
    chain += FormatText("crop=%d:%d:%d:%d,", par->width - s.cropLeft - s.cropRight,
                        par->height - s.cropTop - s.cropBottom, s.cropLeft, s.cropTop);
  // Pictures a phone stored turned are turned upright before they are scaled.
  switch (DisplayRotationOf(ist.st)) {
    case 90: chain += "transpose=clock,"; break;
    case 180: chain += "hflip,vflip,"; break;
    case 270: chain += "transpose=cclock,"; break;
    default: break;
  }
  chain += FormatText("scale=%d:%d:flags=%d,", enc->width - s.padLeft - s.padRight,
                      enc->height - s.padTop - s.padBottom, s.swsFlags);
  if (!s.videoFilters.empty()) chain += s.videoFilters + ",";
  chain += FormatText("format=%s", AV(av_get_pix_fmt_name)(enc->pix_fmt));
  AVFilterInOut* outputs = AV(avfilter_inout_alloc)();
  AVFilterInOut* inputs = AV(avfilter_inout_alloc)();
  outputs->name = AV(av_strdup)("in");
  outputs->filter_ctx = ost.video.bufferSrc;
  inputs->name = AV(av_strdup)("out");
  inputs->filter_ctx = ost.video.bufferSink;
  int err = AV(avfilter_graph_parse_ptr)(ost.video.graph.get(), chain.c_str(), &inputs, &outputs, nullptr);
  AV(avfilter_inout_free)(&inputs);
  AV(avfilter_inout_free)(&outputs);
  if (err >= 0) err = AV(avfilter_graph_config)(ost.video.graph.get(), nullptr);
  if (err < 0) Raise("Error opening filters: %s", ErrorMessage(err).c_str());
  ost.video.filtered = NewFrame();
  // The graph already scales and pads: the plain scaler stays out of it.
  ost.video.sws.reset();
  ost.video.rescale = false;
  ost.video.crop = false;
}

void TCustomFFmpeg::PreprocessVideo(InputStream& ist, AVFrame*& frame) {
  ++hookFrameCounter_;
  const bool custom = static_cast<bool>(OnHook);
  if (!settings_.deinterlace && !custom && !settings_.vhookInUse) return;
  // Hooks draw on a private copy: the decoder may still use the frame it
  // returned as a reference for the next ones.
  if (hookFrame_ == nullptr) hookFrame_ = NewFrame();
  AVFrame* copy = hookFrame_.get();
  if (copy == nullptr) {
    EngineLog(LogError, "hook buf malloc error.");
    return;
  }
  if (copy->width != frame->width || copy->height != frame->height || copy->format != frame->format) {
    AV(av_frame_unref)(copy);
    copy->format = frame->format;
    copy->width = frame->width;
    copy->height = frame->height;
    if (AV(av_frame_get_buffer)(copy, 0) < 0) {
      EngineLog(LogError, "hook buf malloc error.");
      return;
    }
  } else if (AV(av_frame_make_writable)(copy) < 0) {
    EngineLog(LogError, "hook buf malloc error.");
    return;
  }
  AV(av_frame_copy)(copy, frame);
  AV(av_frame_copy_props)(copy, frame);
  if (settings_.deinterlace && !DeinterlaceFrame(copy)) {
    EngineLog(LogError, "Deinterlacing failed.");
    AV(av_frame_copy)(copy, frame);  // a half-filtered picture is worse than the original
  }
  if (custom)
    RunCustomHook(copy, ist);
  else if (settings_.vhookInUse) {
    HookPicture picture{};
    for (int p = 0; p < 4; ++p) {
      picture.data[p] = copy->data[p];
      picture.linesize[p] = copy->linesize[p];
    }
    FrameHookProcess(hooks_, &picture, copy->format, copy->width, copy->height, ist.pts);
  }
  frame = copy;
}

bool TCustomFFmpeg::DeinterlaceFrame(AVFrame* frame) {
  const AVPixFmtDescriptor* d = AV(av_pix_fmt_desc_get)(static_cast<AVPixelFormat>(frame->format));
  if (d == nullptr || !(d->flags & AV_PIX_FMT_FLAG_PLANAR) || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) ||
      (d->nb_components != 1 && d->nb_components != 3) || d->comp[0].depth != 8)
    return false;
  return DeinterlacePicture(frame->data, frame->linesize, frame->width, frame->height, d->nb_components,
                            d->log2_chroma_w, d->log2_chroma_h, deinterlaceScratch_);
}

void TCustomFFmpeg::RunCustomHook(AVFrame* frame, InputStream& ist) {
  TBitmapConverter* converter = hookConverter_.get();
  if (!PictureToBitmap(*converter, frame->data, frame->linesize, frame->format, frame->height, frame->width)) {
    EngineLog(LogError, "Cannot initialize the toRGB conversion context");
    OnHook = nullptr;
    return;
  }
  HookCall call{converter->bitmap.get(), ist.pts, hookFrameCounter_, true, false};
  try {
    OnHook(*this, call);
  } catch (const std::exception& e) {
    EngineLog(LogError, std::string("Error occurs OnCustomHook: ") + e.what());
    call.update = false;
  }
  if (call.update) {
    if (!BitmapToPicture(*converter, frame)) {
      EngineLog(LogError, "Cannot initialize the fromRGB conversion context");
      call.stopHook = true;
    }
  }
  if (call.stopHook) {
    OnHook = nullptr;
    settings_.vhookInUse = false;
  }
}

namespace {

// The encoder tick nearest to a picture's time (halves away from zero, as a
// frame-rate filter rounds). Taken from the stream's own timestamp where it
// has one: in whole microseconds the second picture of a 30 fps clip lies
// just short of half a tick at 15 fps, and would round the wrong way.
int64_t NearestTick(const InputStream& ist, const AVFrame* frame, int64_t startTime, AVRational tick) {
  const int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
  const AVRational tb = ist.st->time_base;
  if (ts == AV_NOPTS_VALUE || tb.num <= 0 || tb.den <= 0 || tick.num <= 0 || tick.den <= 0)
    return std::llround(static_cast<double>(ist.pts - startTime) / AV_TIME_BASE / av_q2d(tick));
  // (ts × tb − startTime µs) ÷ tick, as one fraction n / d.
  const __int128 n = (static_cast<__int128>(ts) * tb.num * AV_TIME_BASE - static_cast<__int128>(startTime) * tb.den) *
                     tick.den;
  const __int128 d = static_cast<__int128>(tick.num) * tb.den * AV_TIME_BASE;
  return static_cast<int64_t>(n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d)));
}

}  // namespace

bool TCustomFFmpeg::PacedAtFrameRate(const OutputStream& ost) const {
  const int method = settings_.videoSyncMethod;
  if (method == 1) return true;
  if (method != -1) return false;
  // A format that keeps each picture's own time may keep a source's varying
  // rate, unless a rate was asked for.
  const bool variableRate = outputs_[ost.file].ctx->oformat->flags & AVFMT_VARIABLE_FPS;
  return !variableRate || settings_.frameRateAsked;
}

int64_t TCustomFFmpeg::EndTick(const OutputStream& ost, const InputStream& ist) const {
  const TaskSettings& s = settings_;
  int64_t end = s.recordingTime;
  const AVFormatContext* source = inputs_[ist.file].ctx.get();
  if (!joined_ && !s.loopInput && source->duration > 0) {
    const int64_t sourceStart = source->start_time != AV_NOPTS_VALUE ? source->start_time : 0;
    end = std::min(end, sourceStart + source->duration + inputs_[ist.file].tsOffset - s.startTime);
  }
  if (end == INT64_MAX) return INT64_MAX;
  return static_cast<int64_t>(
      std::ceil(static_cast<double>(end) / AV_TIME_BASE / av_q2d(ost.enc->time_base) - 1e-9));
}

AVFrame* TCustomFFmpeg::ShapePicture(OutputStream& ost, InputStream& ist, AVFrame* frame) {
  const TaskSettings& s = settings_;
  if (ost.video.graph == nullptr) {
    AVFrame* picture =
        ost.video.Scale(frame, ost.enc.get(), PadColour{s.padY, s.padCb, s.padCr}, s.swsFlags, ist.file, ist.st->index);
    // The decoder reuses its own pictures: one that goes on as it is, is kept.
    if (picture == frame) ost.video.KeepPrevious(frame);
    return picture;
  }
  frame->pts = ist.pts;
  if (AV(av_buffersrc_add_frame_flags)(ost.video.bufferSrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return nullptr;
  AV(av_frame_unref)(ost.video.filtered.get());
  if (AV(av_buffersink_get_frame)(ost.video.bufferSink, ost.video.filtered.get()) < 0) return nullptr;
  return ost.video.filtered.get();
}

void TCustomFFmpeg::EncodeAtNextTick(OutputStream& ost, AVFrame* picture, int quality) {
  const TaskSettings& s = settings_;
  AVCodecContext* enc = ost.enc.get();
  picture->pts = ost.syncOpts;
  picture->pict_type = AV_PICTURE_TYPE_NONE;
  picture->quality = s.sameQuality ? quality : static_cast<int>(enc->global_quality);
  if (s.topFieldFirst >= 0 && (enc->flags & AV_CODEC_FLAG_INTERLACED_DCT)) picture->top_field_first = s.topFieldFirst;
  EncodeVideoFrame(ost, picture);
  if (previewFlags_ != 0) PreviewStep(picture, static_cast<int64_t>(ost.syncOpts * av_q2d(enc->time_base) * AV_TIME_BASE));
  ++ost.syncOpts;
  ++ost.frameNumber;
}

void TCustomFFmpeg::ShowHeldPicture(OutputStream& ost, InputStream& ist, int64_t upTo) {
  OutputStream::HeldPicture& held = ost.heldPicture;
  if (!held.held) return;
  upTo = std::min<int64_t>(upTo, ost.syncOpts + (settings_.maxVideoFrames - ost.frameNumber));
  if (ost.syncOpts >= upTo || stopRequested_) return;
  if (held.unshaped) {
    // It shows after all: only now is it worth scaling.
    held.unshaped = false;
    const bool shaped = ShapePicture(ost, ist, ost.video.waiting.get()) != nullptr;
    AV(av_frame_unref)(ost.video.waiting.get());
    if (!shaped) {
      held.held = false;
      return;
    }
  }
  AVFrame* picture = ost.video.LastPicture();
  if (picture == nullptr || picture->data[0] == nullptr) return;
  int repeats = 0;
  for (; ost.syncOpts < upTo && !stopRequested_; held.shown = true) {
    if (held.shown) ++repeats;
    EncodeAtNextTick(ost, picture, held.quality);
  }
  if (repeats > 0) {
    framesDuplicated_ += repeats;
    reportMark_ = true;
    if (settings_.verbosity > 2) EngineLog(LogVerbose, FormatText("*** %d dup!", repeats));
  }
}

void TCustomFFmpeg::FinishHeldPictures(int istIndex) {
  InputStream& ist = inputStreams_[istIndex];
  for (OutputStream& ost : outputStreams_) {
    if (ost.source != istIndex || ost.plan.kind != AVMEDIA_TYPE_VIDEO || ost.enc == nullptr) continue;
    OutputStream::HeldPicture& held = ost.heldPicture;
    if (!held.held) continue;
    int64_t end = std::llround(static_cast<double>(held.end) / AV_TIME_BASE / av_q2d(ost.enc->time_base));
    // A stream's only picture shows even when it lasts less than half a tick
    // (a still picture).
    if (ost.frameNumber == 0) end = std::max(end, ost.syncOpts + 1);
    ShowHeldPicture(ost, ist, std::min(end, EndTick(ost, ist)));
    if (!held.shown) ++framesDropped_;
    held = {};
    if (ost.video.waiting) AV(av_frame_unref)(ost.video.waiting.get());
  }
}

void TCustomFFmpeg::WriteVideo(OutputStream& ost, InputStream& ist, AVFrame* frame) {
  TaskSettings& s = settings_;
  AVCodecContext* enc = ost.enc.get();
  const int64_t endTick = EndTick(ost, ist);
  if (PacedAtFrameRate(ost)) {
    // Each tick shows the latest picture whose time, rounded to the nearest
    // tick, has come; a picture shows until the next one's tick (or its own
    // end, FinishHeldPictures). So a picture waits for the next one before it
    // is encoded: one that falls on the same tick replaces it.
    const int64_t tick = NearestTick(ist, frame, s.startTime, enc->time_base);
    OutputStream::HeldPicture& held = ost.heldPicture;
    if (held.held) {
      ShowHeldPicture(ost, ist, std::min(tick, endTick));
      if (!held.shown) {
        ++framesDropped_;
        reportMark_ = true;
        if (s.verbosity > 2) EngineLog(LogVerbose, "*** drop!");
      }
    } else {
      ost.syncOpts = std::max(ost.syncOpts, tick);  // the output starts with its first picture
    }
    held = {};
    // The plain scaler waits until the picture is known to show; a filter
    // graph sees every picture, in order, as its filters may expect.
    if (ost.video.graph != nullptr) {
      if (ShapePicture(ost, ist, frame) == nullptr) return;
    } else if (!ost.video.Wait(frame)) {
      Raise("Cannot allocate temp picture, check pix fmt");
    } else {
      held.unshaped = true;
    }
    const AVRational tb = ist.st->time_base;
    const int64_t duration = frame->pkt_duration > 0 ? AV(av_rescale_q)(frame->pkt_duration, tb, AV_TIME_BASE_Q)
                                                     : ist.nextPts - ist.pts;
    held.held = true;
    held.end = ist.pts - s.startTime + std::max<int64_t>(duration, 0);
    held.quality = frame->quality;
    return;
  }
  // Each picture at its own time (vsync 0), or at most once at the next
  // tick unless it comes far too late (vsync 2).
  const double syncIpts = static_cast<double>(ist.pts - s.startTime) / AV_TIME_BASE / av_q2d(enc->time_base);
  bool show = true;
  if (s.videoSyncMethod == 0) {
    ost.syncOpts = std::llround(syncIpts);
  } else {
    const double vdelta = syncIpts - static_cast<double>(ost.syncOpts);
    if (vdelta <= -0.6)
      show = false;
    else if (vdelta > 0.6)
      ost.syncOpts = std::llround(syncIpts);
    if (!show) {
      ++framesDropped_;
      reportMark_ = true;
      if (s.verbosity > 2) EngineLog(LogVerbose, "*** drop!");
    }
  }
  // No picture starts at or after the end of the asked range, or of the
  // input itself.
  if (!show || ost.frameNumber >= s.maxVideoFrames || ost.syncOpts >= endTick || stopRequested_) return;
  AVFrame* picture = ShapePicture(ost, ist, frame);
  if (picture != nullptr) EncodeAtNextTick(ost, picture, frame->quality);
}

bool TCustomFFmpeg::EncodesAside(const OutputStream& ost) const {
  return ost.passLog == nullptr && !settings_.doPsnr && vstatsFile_ == nullptr && !joined_;
}

void TCustomFFmpeg::EncodeVideoFrame(OutputStream& ost, AVFrame* picture) {
  // Decoding and scaling take about as long as encoding: on a thread of its
  // own the encoder works while the next pictures are made.
  if (ost.encodeWorker == nullptr && EncodesAside(ost)) ost.encodeWorker = std::make_unique<EncodeWorker>(ost.enc.get());
  if (ost.encodeWorker != nullptr) {
    if (!ost.encodeWorker->Send(picture)) Raise("Video encoding failed");
    for (PacketPtr& packet : ost.encodeWorker->TakePackets()) WriteEncodedPacket(ost, ost.enc.get(), packet.get());
    return;
  }
  if (AV(avcodec_send_frame)(ost.enc.get(), picture) < 0) Raise("Video encoding failed");
  DrainEncoder(ost, ost.enc.get(), false);
}

void TCustomFFmpeg::PreviewStep(const AVFrame* picture, int64_t pts) {
  const int64_t now = AV(av_gettime_relative)();
  if (now - lastPreview_ <= previewInterval_) return;
  const int flags = previewFlags_;
  TBitmapConverter* converter = previewConverter_.get();
  if ((flags & 2) && OnPreviewBitmap) {
    lastPreview_ = now;
    if (!PictureToBitmap(*converter, picture->data, picture->linesize, picture->format, picture->height,
                         picture->width)) {
      EngineLog(LogError, "Cannot initialize the toRGB conversion context");
      std::lock_guard<std::mutex> lock(previewMutex_);
      previewFlags_ &= ~2;
      return;
    }
    // The picture is this task's own; the handler (which may wait for the
    // host) runs with no lock held.
    OnPreviewBitmap(*this, *converter->bitmap, pts, hookFrameCounter_);
  } else if (flags & 1) {
    lastPreview_ = now;
    // The window is the host's: it is taken out from under the lock while it
    // shows the picture, and put back only if the preview is still wanted.
    std::unique_ptr<TPreviewer> window;
    {
      std::lock_guard<std::mutex> lock(previewMutex_);
      window = std::move(previewer_);
    }
    if (!window && previewerFactory_) window = previewerFactory_();
    bool ok = window != nullptr &&
              PictureToBitmap(*converter, picture->data, picture->linesize, picture->format, picture->height,
                              picture->width);
    if (ok) ok = window->Show(*converter->bitmap, hookFrameCounter_, pts);
    // A window not put back goes when this function returns, after the lock
    // (declared later) has been let go.
    std::lock_guard<std::mutex> lock(previewMutex_);
    if (!ok) {
      previewFlags_ &= ~1;
    } else if (previewFlags_ & 1) {
      previewer_ = std::move(window);
    }
  }
}

}  // namespace media
