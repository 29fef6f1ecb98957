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

namespace {

std::mutex& PreviewLock() {
  static std::mutex m;
  return m;
}

}  // namespace

void TCustomFFmpeg::SetPreviewFlags(int flags) {
  std::unique_ptr<TPreviewer> closing;  // the host's window goes after the lock
  std::lock_guard<std::mutex> lock(PreviewLock());
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
    Bitmap& bmp = *converter->bitmap;
    // The cached context is either reused or freed and replaced.
    fromRgb_.reset(AV(sws_getCachedContext)(fromRgb_.release(), bmp.width, bmp.height, AV_PIX_FMT_BGR24, frame->width,
                                            frame->height, static_cast<AVPixelFormat>(frame->format), SWS_BICUBIC,
                                            nullptr, nullptr, nullptr));
    if (fromRgb_ == nullptr) {
      EngineLog(LogError, "Cannot initialize the fromRGB conversion context");
      call.stopHook = true;
    } else {
      const uint8_t* src[4] = {bmp.pixels.data(), nullptr, nullptr, nullptr};
      const int srcStride[4] = {bmp.stride, 0, 0, 0};
      AV(sws_scale)(fromRgb_.get(), src, srcStride, 0, bmp.height, frame->data, frame->linesize);
    }
  }
  if (call.stopHook) {
    OnHook = nullptr;
    settings_.vhookInUse = false;
  }
}

void TCustomFFmpeg::WriteVideo(OutputStream& ost, InputStream& ist, AVFrame* frame) {
  TaskSettings& s = settings_;
  AVCodecContext* enc = ost.enc.get();
  const double syncIpts = static_cast<double>(ist.pts - s.startTime) / AV_TIME_BASE / av_q2d(enc->time_base);
  int64_t nbFrames = 1;
  if (s.videoSyncMethod == 0) {
    ost.syncOpts = std::llround(syncIpts);
  } else {
    const double vdelta = syncIpts - static_cast<double>(ost.syncOpts);
    const bool variableRate = s.videoSyncMethod == 2 ||
                              (s.videoSyncMethod == -1 && (outputs_[ost.file].ctx->oformat->flags & AVFMT_VARIABLE_FPS));
    if (vdelta < -1.1) {
      nbFrames = 0;
    } else if (variableRate) {
      if (vdelta <= -0.6)
        nbFrames = 0;
      else if (vdelta > 0.6)
        ost.syncOpts = std::llround(syncIpts);
    } else if (vdelta > 1.1) {
      nbFrames = std::llround(vdelta);
    }
    if (nbFrames == 0) {
      ++framesDropped_;
      reportMark_ = true;
      if (s.verbosity > 2) EngineLog(LogVerbose, "*** drop!");
    } else if (nbFrames > 1) {
      framesDuplicated_ += static_cast<int>(nbFrames - 1);
      reportMark_ = true;
      if (s.verbosity > 2) EngineLog(LogVerbose, FormatText("*** %d dup!", static_cast<int>(nbFrames - 1)));
    }
  }
  nbFrames = std::min<int64_t>(nbFrames, s.maxVideoFrames - ost.frameNumber);
  // The writer may run up to a picture ahead of the input; no picture starts
  // at or after the end of the asked range, or of the input itself.
  int64_t end = s.recordingTime;
  const AVFormatContext* source = inputs_[ist.file].ctx.get();
  if (!joined_ && !s.loopInput && source->duration > 0) {
    const int64_t sourceStart = source->start_time != AV_NOPTS_VALUE ? source->start_time : 0;
    end = std::min(end, sourceStart + source->duration + inputs_[ist.file].tsOffset - s.startTime);
  }
  if (end != INT64_MAX) {
    const auto endTick = static_cast<int64_t>(
        std::ceil(static_cast<double>(end) / AV_TIME_BASE / av_q2d(enc->time_base) - 1e-9));
    nbFrames = std::min<int64_t>(nbFrames, endTick - ost.syncOpts);
  }
  if (nbFrames <= 0) return;

  auto encodeOnce = [&](AVFrame* picture) {
    picture->pts = ost.syncOpts;
    picture->pict_type = AV_PICTURE_TYPE_NONE;
    picture->quality = s.sameQuality ? frame->quality : static_cast<int>(enc->global_quality);
    if (s.topFieldFirst >= 0 && (enc->flags & AV_CODEC_FLAG_INTERLACED_DCT)) picture->top_field_first = s.topFieldFirst;
    EncodeVideoFrame(ost, picture);
    if (previewFlags_ != 0) PreviewStep(picture, static_cast<int64_t>(ost.syncOpts * av_q2d(enc->time_base) * AV_TIME_BASE));
    ++ost.syncOpts;
    ++ost.frameNumber;
  };
  // A gap in the input is filled with the picture shown during the gap, the
  // previous one: repeating the new one would show it before its time. The
  // previous picture is still in the filter's or scaler's output, which the
  // new one has not replaced yet; when neither is in use a reference is kept.
  AVFrame* previous = ost.video.LastPicture();
  if (nbFrames > 1 && ost.frameNumber > 0 && previous != nullptr && previous->data[0] != nullptr) {
    for (; nbFrames > 1 && !stopRequested_; --nbFrames) encodeOnce(previous);
  }

  AVFrame* picture = frame;
  if (ost.video.graph != nullptr) {
    frame->pts = ist.pts;
    if (AV(av_buffersrc_add_frame_flags)(ost.video.bufferSrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return;
    AV(av_frame_unref)(ost.video.filtered.get());
    if (AV(av_buffersink_get_frame)(ost.video.bufferSink, ost.video.filtered.get()) < 0) return;
    picture = ost.video.filtered.get();
  } else {
    picture = ost.video.Scale(frame, enc, PadColour{s.padY, s.padCb, s.padCr}, s.swsFlags, ist.file, ist.st->index);
  }
  for (int64_t i = 0; i < nbFrames && !stopRequested_; ++i) encodeOnce(picture);
  if (picture == frame) ost.video.KeepPrevious(frame);
}

void TCustomFFmpeg::EncodeVideoFrame(OutputStream& ost, AVFrame* picture) {
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
      std::lock_guard<std::mutex> lock(PreviewLock());
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
      std::lock_guard<std::mutex> lock(PreviewLock());
      window = std::move(previewer_);
    }
    if (!window) window = MakePreviewer();
    bool ok = window != nullptr &&
              PictureToBitmap(*converter, picture->data, picture->linesize, picture->format, picture->height,
                              picture->width);
    if (ok) ok = window->Show(*converter->bitmap, hookFrameCounter_, pts);
    // A window not put back goes when this function returns, after the lock
    // (declared later) has been let go.
    std::lock_guard<std::mutex> lock(PreviewLock());
    if (!ok) {
      previewFlags_ &= ~1;
    } else if (previewFlags_ & 1) {
      previewer_ = std::move(window);
    }
  }
}

}  // namespace media
