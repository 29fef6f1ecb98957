// media::Bitmap (24-bit BGR rows) and the reusable converter that turns decoded
// pictures into one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/av_headers.h"

namespace media {

// Rows of BGR24 pixels, each row padded to a multiple of 4 bytes, top row first.
struct Bitmap {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<uint8_t> pixels;

  static int RowBytes(int width) { return (width * 3 + 3) & ~3; }
  void Resize(int newWidth, int newHeight);
  // Fills every pixel with one colour.
  void Fill(uint8_t red, uint8_t green, uint8_t blue);
  uint8_t* Row(int y) { return pixels.data() + size_t(y) * size_t(stride); }
  const uint8_t* Row(int y) const { return pixels.data() + size_t(y) * size_t(stride); }
  bool Empty() const { return width * height == 0; }
};

// Reused from picture to picture: the buffer and scaler only grow or get
// replaced when the picture changes.
struct TBitmapConverter {
  AVPixelFormat rgbPixFmt = AV_PIX_FMT_BGR24;
  std::unique_ptr<Bitmap> bitmap;
  uint8_t* buffer = nullptr;  // av_malloc'ed
  int bufferSize = 0;
  uint8_t* data[4] = {};
  int linesize[4] = {};
  const uint8_t* const* rowSource = nullptr;
  const int* rowLinesize = nullptr;
  SwsContext* toRGB = nullptr;
  SwsContext* fromRGB = nullptr;  // writing an edited bitmap back (frame hooks)

  TBitmapConverter() = default;
  TBitmapConverter(const TBitmapConverter&) = delete;
  TBitmapConverter& operator=(const TBitmapConverter&) = delete;
  ~TBitmapConverter();
};

// Frees the bitmap, buffer and scalers and returns to the reset values.
void ResetConverter(TBitmapConverter& converter);

// Converts the picture into converter.bitmap. False when no scaler fits.
bool PictureToBitmap(TBitmapConverter& converter, const uint8_t* const data[4], const int linesize[4],
                     int pixFmt, int height, int width);

}  // namespace media
