// Taking a video's thumbnail from a terminal: the picture at a time, found
// the way the options dialog's slider finds it, fitted into 120 x 90 on the
// dialog's margin colour and saved as a JPEG. Used by `thumbnail` and `add`.
#pragma once

#include <cstdint>
#include <string>

#include "media/bitmap.h"
#include "media/probe.h"

namespace kestrova::cli {

// Decodes the picture at target (microseconds) into the probe's current
// picture; false when there is none.
bool DecodePictureAt(media::TAVProbe& probe, int64_t target);

// Decodes the picture at target, fits it and writes the JPEG beside output
// before renaming it into place. On success picture holds the full-size
// picture; on failure error says why and no file is left behind.
bool SaveThumbnail(media::TAVProbe& probe, int64_t target, const std::string& output, media::Bitmap& picture,
                   std::string& error);

}  // namespace kestrova::cli
