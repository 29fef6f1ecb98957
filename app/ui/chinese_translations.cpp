#include "chinese_translations.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kestrova::ui {

bool InstallChineseTranslations(QCoreApplication& application) {
  // The application owns the translator and keeps it for the whole run.
  auto* translator = new QTranslator(&application);
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace kestrova::ui
