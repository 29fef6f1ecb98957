// Writing a picture as a JPEG file (thumbnails). The file is written beside
// its name and renamed over it, so a reader never sees half a picture and a
// failed write leaves the previous file whole.
#pragma once

#include <string>

#include "media/bitmap.h"

namespace media {

// The codec's default quality.
inline constexpr int kDefaultJpegQuality = 75;

// False with error set ("PATH: cannot write file") when it could not be written.
bool WriteJpegFile(const Bitmap& bitmap, const std::string& path, std::string& error,
                   int quality = kDefaultJpegQuality);

}  // namespace media
