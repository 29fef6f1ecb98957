#include "qt_hand_over.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace kestrova::ui {

QtHandOver::QtHandOver(QObject* parent) : QObject(parent) {}

QtHandOver::~QtHandOver() {
  {
    std::lock_guard lock(aliveLock_);
    alive_ = false;
  }
  Close();
}

void QtHandOver::Wake() {
  std::lock_guard lock(aliveLock_);
  if (!alive_) return;
  // One wake-up per piece; one that arrives after its piece ran another way
  // (PumpUntil, a nested Pump) finds nothing to do.
  QMetaObject::invokeMethod(this, [this] { Pump(); }, Qt::QueuedConnection);
}

bool QtHandOver::ServeHostEvents() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return true;
}

}  // namespace kestrova::ui
