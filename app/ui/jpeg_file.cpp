#include "jpeg_file.h"

#include <QSaveFile>

namespace kestrova::ui {

bool SaveJpegReplacing(const QImage& image, const QString& path) {
  // QSaveFile writes a temporary file in the same folder and renames it over
  // the target on commit.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (!image.save(&file, "JPEG")) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace kestrova::ui
