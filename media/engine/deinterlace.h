// Removes the combing of interlaced pictures in place, keeping one picture per
// picture (no field doubling, no delay), so the frame hooks and the encoder
// see the same frame count as without it.
#pragma once

#include <cstdint>
#include <vector>

namespace media {

// Rebuilds every second line (the bottom field) of one plane from its
// neighbours with a short vertical low-pass, leaving the top field as it
// was. scratch is grown as needed and reused between calls. False when the
// plane is too small to hold both fields.
bool DeinterlacePlane(uint8_t* plane, int linesize, int width, int height, std::vector<uint8_t>& scratch);

// Deinterlaces a planar 8-bit YUV picture (4:2:0, 4:2:2, 4:4:4, 4:1:1 or
// grey; chromaShiftW/H are the format's chroma subsampling shifts and
// planes the number of planes). False when the picture can't be handled.
bool DeinterlacePicture(uint8_t* const data[4], const int linesize[4], int width, int height, int planes,
                        int chromaShiftW, int chromaShiftH, std::vector<uint8_t>& scratch);

}  // namespace media
