#include "media/engine/video_conversion.h"

#include <cstring>

#include "media/engine/engine_av.h"
#include "media/engine/engine_log.h"
#include "media/engine/options_error.h"

namespace media {

void FillPadColour(AVFrame* picture, int y, int cb, int cr) {
  const AVPixFmtDescriptor* d = AV(av_pix_fmt_desc_get)(static_cast<AVPixelFormat>(picture->format));
  if (d == nullptr || (d->flags & AV_PIX_FMT_FLAG_RGB) || !(d->flags & AV_PIX_FMT_FLAG_PLANAR)) {
    for (int p = 0; p < 4 && picture->data[p]; ++p)
      std::memset(picture->data[p], 0, static_cast<size_t>(picture->linesize[p]) * picture->height);
    return;
  }
  const int values[3] = {y, cb, cr};
  for (int p = 0; p < 3 && picture->data[p]; ++p) {
    int h = p == 0 ? picture->height : -((-picture->height) >> d->log2_chroma_h);
    std::memset(picture->data[p], values[p], static_cast<size_t>(picture->linesize[p]) * h);
  }
}

AVFrame* VideoConversion::LastPicture() const {
  return graph != nullptr ? filtered.get() : Scales() ? scaled.get() : previous.get();
}

namespace {
// Puts a reference to frame in slot, in place of the one it held; false
// when memory runs out (slot is then empty).
bool HoldReference(FramePtr& slot, const AVFrame* frame) {
  if (!slot) slot = NewFrame();
  if (!slot) return false;
  AV(av_frame_unref)(slot.get());
  if (AV(av_frame_ref)(slot.get(), frame) >= 0) return true;
  AV(av_frame_unref)(slot.get());
  return false;
}
}  // namespace

void VideoConversion::KeepPrevious(const AVFrame* frame) { HoldReference(previous, frame); }

bool VideoConversion::Wait(const AVFrame* frame) { return HoldReference(waiting, frame); }

bool VideoConversion::AllocateScaled(const AVCodecContext* enc, const PadColour& colour) {
  scaled = NewFrame();
  if (scaled == nullptr) return false;
  scaled->format = enc->pix_fmt;
  scaled->width = enc->width;
  scaled->height = enc->height;
  if (AV(av_frame_get_buffer)(scaled.get(), 0) < 0) return false;
  FillPadColour(scaled.get(), colour.y, colour.cb, colour.cr);
  return true;
}

AVFrame* VideoConversion::Scale(AVFrame* frame, const AVCodecContext* enc, const PadColour& colour, int swsFlags,
                                int inputFile, int inputStream) {
  if (sws == nullptr && !rescale && !pad && !crop) return frame;
  if (frame->width != srcW || frame->height != srcH || frame->format != srcFmt) {
    EngineLog(LogInfo, FormatText("Input Stream #%d.%d frame size changed to %dx%d, %s", inputFile, inputStream,
                                  frame->width, frame->height,
                                  AV(av_get_pix_fmt_name)(static_cast<AVPixelFormat>(frame->format))));
    if (srcW > 0 && srcH > 0) {
      cropTop = (cropTop * frame->height / srcH) & ~1;
      cropBottom = (cropBottom * frame->height / srcH) & ~1;
      cropLeft = (cropLeft * frame->width / srcW) & ~1;
      cropRight = (cropRight * frame->width / srcW) & ~1;
    }
    srcW = frame->width;
    srcH = frame->height;
    srcFmt = frame->format;
    if (scaled == nullptr && !AllocateScaled(enc, colour)) Raise("Cannot allocate temp picture, check pix fmt");
    if (AV(av_pix_fmt_desc_get)(static_cast<AVPixelFormat>(frame->format)) == nullptr || frame->width <= 0 ||
        frame->height <= 0)
      Raise("Input Stream #%d.%d gave a picture of unknown format or size", inputFile, inputStream);
    sws.reset();
    sws.reset(AV(sws_getContext)(frame->width - cropLeft - cropRight, frame->height - cropTop - cropBottom,
                                 static_cast<AVPixelFormat>(frame->format), enc->width - padLeft - padRight,
                                 enc->height - padTop - padBottom, enc->pix_fmt, swsFlags, nullptr, nullptr, nullptr));
    if (sws == nullptr) Raise("Cannot get resampling context");
  }
  if (AV(av_frame_make_writable)(scaled.get()) < 0) Raise("Cannot allocate temp picture, check pix fmt");
  const AVPixFmtDescriptor* in = AV(av_pix_fmt_desc_get)(static_cast<AVPixelFormat>(frame->format));
  const AVPixFmtDescriptor* out = AV(av_pix_fmt_desc_get)(enc->pix_fmt);
  const uint8_t* src[4] = {};
  uint8_t* dst[4] = {};
  for (int p = 0; p < 4; ++p) {
    if (frame->data[p] != nullptr) {
      const bool chroma = p == 1 || p == 2;
      int top = chroma ? cropTop >> in->log2_chroma_h : cropTop;
      int left = chroma ? cropLeft >> in->log2_chroma_w : cropLeft;
      int step = (in->flags & AV_PIX_FMT_FLAG_PLANAR) ? 1 : (in->comp[0].step > 0 ? in->comp[0].step : 1);
      src[p] = frame->data[p] + static_cast<ptrdiff_t>(top) * frame->linesize[p] + left * step;
    }
    if (scaled->data[p] != nullptr) {
      const bool chroma = p == 1 || p == 2;
      int top = chroma ? padTop >> out->log2_chroma_h : padTop;
      int left = chroma ? padLeft >> out->log2_chroma_w : padLeft;
      dst[p] = scaled->data[p] + static_cast<ptrdiff_t>(top) * scaled->linesize[p] + left;
    }
  }
  AV(sws_scale)(sws.get(), src, frame->linesize, 0, frame->height - cropTop - cropBottom, dst, scaled->linesize);
  AV(av_frame_copy_props)(scaled.get(), frame);
  return scaled.get();
}

}  // namespace media
