#include "media/display_rotation.h"

#include <cmath>

namespace media {

int DisplayRotationOf(const AVStream* stream) {
  if (stream == nullptr) return 0;
  const int32_t* matrix = nullptr;
  for (int i = 0; i < stream->nb_side_data; ++i)
    if (stream->side_data[i].type == AV_PKT_DATA_DISPLAYMATRIX && stream->side_data[i].size >= 9 * 4)
      matrix = reinterpret_cast<const int32_t*>(stream->side_data[i].data);
  if (matrix == nullptr) return 0;
  // The first two columns of the 3x3 matrix, 16.16 fixed point: the picture's
  // x axis is sent to (a, b), its y axis to (c, d).
  const double a = matrix[0] / 65536.0, b = matrix[1] / 65536.0;
  const double c = matrix[3] / 65536.0, d = matrix[4] / 65536.0;
  if (a * d - b * c <= 0) return 0;  // mirrored (or empty): shown as stored
  const double degrees = std::atan2(b, a) * 180.0 / M_PI;
  const long quarter = std::lround(degrees / 90.0);
  if (std::fabs(degrees - quarter * 90.0) > 1.0) return 0;
  // The matrix turns counter-clockwise in its own coordinates, whose y axis
  // points down on screen: on screen that is clockwise.
  return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

void RotateBitmap(Bitmap& bitmap, int clockwiseDegrees) {
  if (bitmap.Empty() || (clockwiseDegrees != 90 && clockwiseDegrees != 180 && clockwiseDegrees != 270)) return;
  const int w = bitmap.width, h = bitmap.height;
  Bitmap turned;
  if (clockwiseDegrees == 180)
    turned.Resize(w, h);
  else
    turned.Resize(h, w);
  for (int y = 0; y < h; ++y) {
    const uint8_t* source = bitmap.Row(y);
    for (int x = 0; x < w; ++x) {
      int tx = 0, ty = 0;
      if (clockwiseDegrees == 90) {
        tx = h - 1 - y;
        ty = x;
      } else if (clockwiseDegrees == 180) {
        tx = w - 1 - x;
        ty = h - 1 - y;
      } else {
        tx = y;
        ty = w - 1 - x;
      }
      uint8_t* target = turned.Row(ty) + tx * 3;
      target[0] = source[x * 3];
      target[1] = source[x * 3 + 1];
      target[2] = source[x * 3 + 2];
    }
  }
  bitmap = std::move(turned);
}

}  // namespace media
