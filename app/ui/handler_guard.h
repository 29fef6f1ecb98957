// Every handler runs through Guarded: an error that escapes it ends that
// handler only and is shown by the top-level error display, and the program
// goes on. Qt's event dispatch must never see an exception.
#pragma once

#include <exception>
#include <utility>

#include "platform.h"

namespace kestrova::ui {

template <class Handler>
void Guarded(Platform& platform, Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& error) {
    platform.showError(QString::fromUtf8(error.what()));
  } catch (...) {
    platform.showError(QStringLiteral("未知错误"));
  }
}

}  // namespace kestrova::ui
