// The media libraries dropped their in-place picture deinterlacer, and their
// filters that replace it (yadif, bwdif) hold a picture back or double the
// rate, which the per-frame pre-processing here can't absorb: this small
// filter stands in for it.
#include "media/engine/deinterlace.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace media {

bool DeinterlacePlane(uint8_t* plane, int linesize, int width, int height, std::vector<uint8_t>& scratch) {
  if (plane == nullptr || width <= 0 || height < 2 || linesize < width) return false;
  const size_t rowBytes = static_cast<size_t>(width);
  if (scratch.size() < rowBytes * height) scratch.resize(rowBytes * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(scratch.data() + rowBytes * y, plane + static_cast<std::ptrdiff_t>(linesize) * y, rowBytes);
  // Beyond the picture's edges the lines are mirrored, so a missing
  // neighbour is taken from the same field as the line it stands for.
  auto row = [&](int y) {
    if (y < 0) y = -y;
    if (y >= height) y = 2 * (height - 1) - y;
    return scratch.data() + rowBytes * std::clamp(y, 0, height - 1);
  };
  // Taps -1 4 2 4 -1 (sum 8) around each bottom-field line: mostly the two
  // top-field neighbours, a little of the line itself so that detail which
  // both fields share survives.
  for (int y = 1; y < height; y += 2) {
    const uint8_t* above2 = row(y - 2);
    const uint8_t* above = row(y - 1);
    const uint8_t* self = row(y);
    const uint8_t* below = row(y + 1);
    const uint8_t* below2 = row(y + 2);
    uint8_t* out = plane + static_cast<std::ptrdiff_t>(linesize) * y;
    for (int x = 0; x < width; ++x) {
      const int sum = -above2[x] + 4 * above[x] + 2 * self[x] + 4 * below[x] - below2[x];
      out[x] = static_cast<uint8_t>(std::clamp((sum + 4) >> 3, 0, 255));
    }
  }
  return true;
}

bool DeinterlacePicture(uint8_t* const data[4], const int linesize[4], int width, int height, int planes,
                        int chromaShiftW, int chromaShiftH, std::vector<uint8_t>& scratch) {
  if (planes < 1 || planes > 3) return false;
  for (int p = 0; p < planes; ++p) {
    const bool chroma = p > 0;
    const int w = chroma ? -((-width) >> chromaShiftW) : width;
    const int h = chroma ? -((-height) >> chromaShiftH) : height;
    if (!DeinterlacePlane(data[p], linesize[p], w, h, scratch)) return false;
  }
  return true;
}

}  // namespace media
