// The application title: the caption of every message box.
#pragma once

#include <QString>

namespace kestrova::ui {

QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

}  // namespace kestrova::ui
