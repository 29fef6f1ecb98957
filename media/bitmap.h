// media::Bitmap: a picture as 24-bit BGR rows, the form in which the media
// library lends and hands out pictures (the converter that makes one from a
// decoded picture is internal: bitmap_converter.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

}  // namespace media
