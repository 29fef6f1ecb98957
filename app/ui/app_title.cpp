#include "app_title.h"

namespace kestrova::ui {

namespace {
QString& Title() {
  static QString title = QStringLiteral("ZorvaneKestrova 2010");
  return title;
}
}  // namespace

QString ApplicationTitle() { return Title(); }
void SetApplicationTitle(const QString& title) { Title() = title; }

}  // namespace kestrova::ui
