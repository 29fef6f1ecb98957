#include "media/fit_picture.h"

#include <algorithm>
#include <cmath>

#include "media/entry_points.h"

namespace media {

Rect FitRect(int sourceWidth, int sourceHeight, const Rect& target) {
  Rect result = target;
  if (sourceWidth <= 0 || sourceHeight <= 0 || target.Width() <= 0 || target.Height() <= 0) return result;
  double w = double(sourceWidth) / target.Width();
  double h = double(sourceHeight) / target.Height();
  if (w >= h) {
    int inset = int(std::nearbyint((target.Height() - sourceHeight / w) / 2));  // default mode: halves to even
    result.top += inset;
    result.bottom -= inset;
  } else {
    int inset = int(std::nearbyint((target.Width() - sourceWidth / h) / 2));
    result.left += inset;
    result.right -= inset;
  }
  return result;
}

bool FitBitmap(const Bitmap& source, int width, int height, uint8_t red, uint8_t green, uint8_t blue, Bitmap& out,
               double sampleAspect) {
  if (source.Empty() || width <= 0 || height <= 0) return false;
  out.Resize(width, height);
  out.Fill(red, green, blue);
  // Shown sizes: the height stays, the width takes the pixels' shape.
  if (!(sampleAspect > 0) || !std::isfinite(sampleAspect)) sampleAspect = 1.0;
  const double shownWidth = std::clamp(source.width * sampleAspect, 1.0, 1e6);
  Rect box = FitRect(int(std::lround(shownWidth)), source.height, Rect{0, 0, width, height});
  if (box.Width() <= 0 || box.Height() <= 0) return true;
  SwsContext* scaler = Av().sws_getContext(source.width, source.height, AV_PIX_FMT_BGR24, box.Width(), box.Height(),
                                           AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!scaler) return false;
  const uint8_t* sourceData[4] = {source.pixels.data()};
  int sourceLinesize[4] = {source.stride};
  uint8_t* targetData[4] = {out.Row(box.top) + box.left * 3};
  int targetLinesize[4] = {out.stride};
  Av().sws_scale(scaler, sourceData, sourceLinesize, 0, source.height, targetData, targetLinesize);
  Av().sws_freeContext(scaler);
  return true;
}

}  // namespace media
