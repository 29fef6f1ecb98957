#include "qt_hand_over.h"

#include "platform.h"

namespace kestrova::ui {

QtHandOver::QtHandOver(Platform& platform) {
  SetErrorHandler([&platform](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      platform.showError(QString::fromUtf8(e.what()));
    } catch (...) {
      platform.showError(QStringLiteral("未知错误"));
    }
  });
}

QtHandOver::~QtHandOver() { Close(); }

void QtHandOver::Wake() {
  QMetaObject::invokeMethod(&waker_, [this] { Pump(); }, Qt::QueuedConnection);
}

}  // namespace kestrova::ui
