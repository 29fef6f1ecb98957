#include "executable_folder.h"

#include <QFileInfo>

namespace kestrova::ui {

QString ExecutableFolder(const char* argv0, const QString& resolvedFolder) {
  QString invoked = argv0 ? QString::fromLocal8Bit(argv0) : QString();
  if (!invoked.contains('/')) return resolvedFolder;
  return QFileInfo(invoked).absolutePath();
}

}  // namespace kestrova::ui
