// Fitting a picture into a fixed box, keeping its aspect ratio (thumbnails,
// picture boxes).
#pragma once

#include <cstdint>

#include "media/bitmap.h"

namespace media {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// The part of target that a source of that size fills when stretched to fit:
// full width and centred vertically when it is relatively wider, else full
// height and centred horizontally. Insets round halves to even.
Rect FitRect(int sourceWidth, int sourceHeight, const Rect& target);

// A width x height bitmap of the margin colour with the source stretched into
// FitRect of its display size: its width times sampleAspect (the shown width
// of one pixel against its height), so an anamorphic picture keeps the shape
// it is shown in. False when the source is empty or cannot be scaled
// (swscale must be bound).
bool FitBitmap(const Bitmap& source, int width, int height, uint8_t red, uint8_t green, uint8_t blue,
               Bitmap& out, double sampleAspect = 1.0);

}  // namespace media
