// Saving a picture as a JPEG file that others may read at any time (the
// upload, the site's visitors): written beside its name and renamed over it.
#pragma once

#include <QImage>
#include <QString>

namespace kestrova::ui {

// Default quality; false (and the previous file untouched) on failure.
bool SaveJpegReplacing(const QImage& image, const QString& path);

}  // namespace kestrova::ui
