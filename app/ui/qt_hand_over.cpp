#include "qt_hand_over.h"

namespace kestrova::ui {

QtHandOver::QtHandOver(QObject* parent) : QObject(parent) {}

QtHandOver::~QtHandOver() {
  Close();
  std::lock_guard<std::mutex> lock(aliveLock_);
  alive_ = false;
}

void QtHandOver::Wake() {
  std::lock_guard<std::mutex> lock(aliveLock_);
  if (alive_) QMetaObject::invokeMethod(this, [this] { Pump(); }, Qt::QueuedConnection);
}

}  // namespace kestrova::ui
