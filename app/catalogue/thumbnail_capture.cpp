#include "thumbnail_capture.h"

#include <QImageWriter>
#include <QSaveFile>
#include <stdexcept>

#include "media/bitmap.h"

namespace kestrova::catalogue {

QImage ImageFromBitmap(const media::Bitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  QImage image(bitmap.pixels.data(), bitmap.width, bitmap.height, bitmap.stride, QImage::Format_BGR888);
  return image.copy();  // the player's bitmap changes with the next capture
}

QImage StretchToThumbnail(const QImage& picture) {
  if (picture.isNull()) {  // nothing on screen: a black thumbnail, as an empty picture stretches
    QImage black(kThumbnailWidth, kThumbnailHeight, QImage::Format_RGB32);
    black.fill(Qt::black);
    return black;
  }
  return picture.scaled(kThumbnailWidth, kThumbnailHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void SaveThumbnail(const QImage& thumbnail, const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  const QString name = QString::fromStdString(file.string());
  QSaveFile out(name);
  QImageWriter writer(&out, "jpeg");
  writer.setQuality(kThumbnailQuality);
  if (!out.open(QIODevice::WriteOnly) || !writer.write(thumbnail) || !out.commit()) {
    throw std::runtime_error("Cannot write the thumbnail " + file.string());
  }
}

}  // namespace kestrova::catalogue
