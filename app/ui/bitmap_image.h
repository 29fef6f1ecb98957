// media::Bitmap seen as a QImage, and fitted drawing of one onto a canvas.
#pragma once

#include <QImage>

#include "media/bitmap.h"

namespace kestrova::ui {

// Shares the bitmap's rows (no copy): valid while the bitmap is unchanged.
QImage BitmapImage(const media::Bitmap& bitmap);

// Stretches the whole bitmap into the part of canvas that keeps its aspect
// ratio; the rest of the canvas keeps what it showed. An empty bitmap draws
// nothing.
void FitDraw(QImage& canvas, const media::Bitmap& bitmap);

}  // namespace kestrova::ui
