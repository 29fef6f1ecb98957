#include "media/bitmap.h"

#include <algorithm>
#include <cstring>

#include "media/bitmap_converter.h"
#include "media/entry_points.h"

namespace media {

void Bitmap::Resize(int newWidth, int newHeight) {
  width = std::max(newWidth, 0);
  height = std::max(newHeight, 0);
  stride = RowBytes(width);
  pixels.assign(size_t(stride) * size_t(height), 0);
}

void Bitmap::Fill(uint8_t red, uint8_t green, uint8_t blue) {
  for (int y = 0; y < height; ++y) {
    uint8_t* row = Row(y);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = blue;
      row[x * 3 + 1] = green;
      row[x * 3 + 2] = red;
    }
  }
}

void ResetConverter(TBitmapConverter& c) {
  c.bitmap.reset();
  c.buffer.reset();
  c.toRGB.reset();
  c.fromRGB.reset();
  c.rgbPixFmt = AV_PIX_FMT_BGR24;
  c.bufferSize = 0;
  std::fill(std::begin(c.data), std::end(c.data), nullptr);
  std::fill(std::begin(c.linesize), std::end(c.linesize), 0);
  c.rowSource = nullptr;
  c.rowLinesize = nullptr;
}

bool PictureToBitmap(TBitmapConverter& c, const uint8_t* const data[4], const int linesize[4], int pixFmt,
                     int height, int width) {
  if (width <= 0 || height <= 0 || !data || !data[0]) return false;
  if (!c.bitmap) c.bitmap = std::make_unique<Bitmap>();
  if (c.bitmap->width != width || c.bitmap->height != height) c.bitmap->Resize(width, height);

  if (pixFmt == c.rgbPixFmt && width % 2 == 0 && height % 2 == 0 && linesize[0] == c.bitmap->stride) {
    c.rowSource = data;
    c.rowLinesize = linesize;
  } else {
    int size = Av().av_image_get_buffer_size(c.rgbPixFmt, width, height, 1);
    if (size <= 0) return false;
    if (!c.buffer || c.bufferSize < size) {
      c.buffer.reset();
      c.buffer.reset(static_cast<uint8_t*>(Av().av_malloc(size_t(size))));
      c.bufferSize = c.buffer ? size : 0;
      if (!c.buffer) return false;
    }
    Av().av_image_fill_arrays(c.data, c.linesize, c.buffer.get(), c.rgbPixFmt, width, height, 1);
    // The cached scaler is either kept or freed and replaced.
    c.toRGB.reset(Av().sws_getCachedContext(c.toRGB.release(), width, height, AVPixelFormat(pixFmt), width, height,
                                            c.rgbPixFmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!c.toRGB) return false;
    Av().sws_scale(c.toRGB.get(), data, linesize, 0, height, c.data, c.linesize);
    c.rowSource = c.data;
    c.rowLinesize = c.linesize;
  }
  // A source row may be wider (padding) or narrower than the bitmap's row.
  size_t copy = size_t(std::min(std::abs(c.rowLinesize[0]), c.bitmap->stride));
  copy = std::min(copy, size_t(width) * 3);
  for (int r = 0; r < height; ++r) {
    std::memcpy(c.bitmap->Row(r), c.rowSource[0] + ptrdiff_t(r) * c.rowLinesize[0], copy);
  }
  return true;
}

bool BitmapToPicture(TBitmapConverter& c, AVFrame* picture) {
  if (!c.bitmap || !picture) return false;
  const Bitmap& bitmap = *c.bitmap;
  c.fromRGB.reset(Av().sws_getCachedContext(c.fromRGB.release(), bitmap.width, bitmap.height, c.rgbPixFmt,
                                            picture->width, picture->height, AVPixelFormat(picture->format),
                                            SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!c.fromRGB) return false;
  const uint8_t* rows[4] = {bitmap.pixels.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {bitmap.stride, 0, 0, 0};
  Av().sws_scale(c.fromRGB.get(), rows, strides, 0, bitmap.height, picture->data, picture->linesize);
  return true;
}

}  // namespace media
