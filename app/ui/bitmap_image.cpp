#include "bitmap_image.h"

#include <QPainter>

#include "media/fit_picture.h"

namespace kestrova::ui {

QImage BitmapImage(const media::Bitmap& bitmap) {
  if (bitmap.Empty()) return {};
  return QImage(bitmap.pixels.data(), bitmap.width, bitmap.height, bitmap.stride, QImage::Format_BGR888);
}

void FitDraw(QImage& canvas, const media::Bitmap& bitmap) {
  if (bitmap.Empty()) return;
  const media::Rect r = media::FitRect(bitmap.width, bitmap.height, {0, 0, canvas.width(), canvas.height()});
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(r.left, r.top, r.Width(), r.Height()), BitmapImage(bitmap));
}

}  // namespace kestrova::ui
