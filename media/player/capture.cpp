// Pictures leaving the player: the one on screen as a bitmap (thumbnails),
// and every decoded picture lent to the host's hook before it is shown.
#include <cmath>

#include "media/logger.h"
#include "media/player/call_scope.h"
#include "media/player/player_core.h"

namespace media::player {

void PlayerCore::RememberShown(const AVFrame* picture, double pts) {
  FramePtr reference(Av().av_frame_clone(picture));  // a reference, not a copy
  std::lock_guard lock(shownMutex);
  shownFrame = std::move(reference);
  shownPts = pts;
}

void PlayerCore::RunHook(Pipeline& pipe, AVFrame* picture, double pts) {
  THookEvent handler = Copy(onHook);
  if (!handler) return;
  if (!PictureToBitmap(hookConverter, picture->data, picture->linesize, picture->format, picture->height,
                       picture->width)) {
    Error("Cannot initialize the toRGB conversion context", false);
    return;
  }
  Bitmap& bitmap = *hookConverter.bitmap;
  try {
    CallScope scope(this, HandlerKind::kMediaThread);
    handler(bitmap, int64_t(std::llround(pts * 1000000.0)) - pipe.startTimeUs);
  } catch (const std::exception& e) {
    Error(std::string("Error occurs OnHook: ") + e.what(), false);
    return;
  }
  // Whatever the handler drew goes back into the picture that is shown.
  if (Av().av_frame_make_writable(picture) < 0) return;
  if (!BitmapToPicture(hookConverter, picture)) Error("Cannot initialize the fromRGB conversion context", false);
}

}  // namespace media::player

namespace media {

const Bitmap& TCustomPlayer::GetCurrentBitmap() {
  int64_t pts;
  return GetCurrentBitmap(pts);
}

const Bitmap& TCustomPlayer::GetCurrentBitmap(int64_t& pts) {
  player::PlayerCore& core = *core_;
  std::lock_guard lock(core.shownMutex);
  TBitmapConverter& converter = core.captureConverter;
  if (!converter.bitmap) converter.bitmap = std::make_unique<Bitmap>();
  pts = -1;
  if (core.videoWidth <= 0 || core.videoHeight <= 0) {
    converter.bitmap->Resize(0, 0);
    return *converter.bitmap;
  }
  if (!core.shownFrame) {
    converter.bitmap->Resize(core.videoWidth, core.videoHeight);  // black until a picture is shown
    return *converter.bitmap;
  }
  const AVFrame* picture = core.shownFrame.get();
  pts = int64_t(std::llround(core.shownPts * 1000000.0)) - core.startTimeUs;
  if (!PictureToBitmap(converter, picture->data, picture->linesize, picture->format, picture->height,
                       picture->width)) {
    converter.bitmap->Resize(0, 0);
  }
  return *converter.bitmap;
}

}  // namespace media
