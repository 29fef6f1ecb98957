// Qt's own texts (standard buttons, file and colour dialogs) in Chinese, so
// that they match the rest of the tool whatever language the desktop runs in.
#pragma once

#include <QCoreApplication>

namespace kestrova::ui {

// Loads Qt's Chinese translations (Debian's qt6-translations-l10n) into the
// application. False when they are not installed; Qt's English texts stay.
bool InstallChineseTranslations(QCoreApplication& application);

}  // namespace kestrova::ui
