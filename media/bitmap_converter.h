// The reusable converter that turns decoded pictures into a media::Bitmap.
// Internal to the media library.
#pragma once

#include <cstdint>
#include <memory>

#include "media/av_headers.h"
#include "media/av_owners.h"
#include "media/bitmap.h"

namespace media {

// Reused from picture to picture: the buffer and scaler only grow or get
// replaced when the picture changes.
struct TBitmapConverter {
  AVPixelFormat rgbPixFmt = AV_PIX_FMT_BGR24;
  std::unique_ptr<Bitmap> bitmap;
  AvMallocPtr buffer;
  int bufferSize = 0;
  uint8_t* data[4] = {};
  int linesize[4] = {};
  const uint8_t* const* rowSource = nullptr;
  const int* rowLinesize = nullptr;
  SwsPtr toRGB;
  SwsPtr fromRGB;  // writing an edited bitmap back (frame hooks)
};

// Frees the bitmap, buffer and scalers and returns to the reset values.
void ResetConverter(TBitmapConverter& converter);

// Converts the picture into converter.bitmap. False when no scaler fits.
bool PictureToBitmap(TBitmapConverter& converter, const uint8_t* const data[4], const int linesize[4],
                     int pixFmt, int height, int width);

// Writes converter.bitmap (as a hook may have drawn on it) back into the
// picture it came from, which must be writable. False when no scaler fits.
bool BitmapToPicture(TBitmapConverter& converter, AVFrame* picture);

}  // namespace media
