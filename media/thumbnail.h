// The thumbnail of a video as the catalogue shows it: the picture at a time,
// found the way the options dialog's slider finds it, fitted into 120 x 90 on
// the dialog's margin colour.
#pragma once

#include <cstdint>
#include <string>

#include "media/bitmap.h"
#include "media/probe.h"

namespace media {

inline constexpr int kThumbnailWidth = 120;
inline constexpr int kThumbnailHeight = 90;

// A time text the libraries read ("HH:MM:SS.mmm", "SS.mmm", ...) in µs;
// false (and nothing set) when it is not one or is negative.
bool ParseTimeText(const std::string& text, int64_t& microseconds);

// Decodes the picture shown at `at` (µs from the file's start) into the
// probe's current picture: the picture at or just before the time.
bool DecodePictureAt(TAVProbe& probe, int64_t at);

// The picture fitted by its display size (sampleAspect: the shown width of
// one pixel against its height, TAVProbe::PictureSampleAspect) into
// kThumbnailWidth x kThumbnailHeight on the margin colour. False when the
// picture is empty or cannot be scaled.
bool FitThumbnail(const Bitmap& picture, Bitmap& thumbnail, double sampleAspect = 1.0);

}  // namespace media
