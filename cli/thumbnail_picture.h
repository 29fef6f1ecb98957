// Taking a video's thumbnail from a terminal (`add`): the picture at a time,
// fitted into 120 x 90 and saved as a JPEG, all done by the media library.
#pragma once

#include <cstdint>
#include <string>

#include "media/bitmap.h"
#include "media/probe.h"

namespace kestrova::cli {

// Decodes the picture at target, fits it and writes the JPEG beside output
// before renaming it into place. On success picture holds the full-size
// picture; on failure error says why and no file is left behind.
bool SaveThumbnail(media::TAVProbe& probe, int64_t target, const std::string& output, media::Bitmap& picture,
                   std::string& error);

}  // namespace kestrova::cli
