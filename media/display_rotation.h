// Phones store a portrait clip as landscape pictures plus a display matrix
// that says how far to turn them. Everything that shows or converts such a
// clip turns its pictures the same way.
#pragma once

#include "media/av_headers.h"
#include "media/bitmap.h"

namespace media {

// How far the stream's pictures are to be turned clockwise for display: 0,
// 90, 180 or 270 degrees (0 without a display matrix, or for a matrix that
// mirrors or turns by an odd angle, which is shown as stored).
int DisplayRotationOf(const AVStream* stream);

// Turns the bitmap clockwise by 90, 180 or 270 degrees (other values leave
// it as it is).
void RotateBitmap(Bitmap& bitmap, int clockwiseDegrees);

}  // namespace media
