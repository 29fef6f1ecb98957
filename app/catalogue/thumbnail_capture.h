// A new thumbnail from the picture on the player's screen: stretched over
// 120 x 90 (the aspect ratio is not kept), smoothed, saved as a JPEG of
// quality 90 in place of the old one.
#pragma once

#include <QImage>
#include <filesystem>

namespace media {
struct Bitmap;
}

namespace kestrova::catalogue {

constexpr int kThumbnailWidth = 120;
constexpr int kThumbnailHeight = 90;
constexpr int kThumbnailQuality = 90;

// The player's BGR picture as an image of its own.
QImage ImageFromBitmap(const media::Bitmap& bitmap);

QImage StretchToThumbnail(const QImage& picture);

// Written beside the file and moved over it, so the previous thumbnail stays
// whole when writing fails. Throws std::runtime_error naming the file.
void SaveThumbnail(const QImage& thumbnail, const std::filesystem::path& file);

}  // namespace kestrova::catalogue
