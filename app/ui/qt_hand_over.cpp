#include "qt_hand_over.h"

namespace kestrova::ui {

void QtHandOver::Wake() {
  // Queued on this object: a call still on its way when the object goes is dropped.
  QMetaObject::invokeMethod(this, [this] { Pump(); }, Qt::QueuedConnection);
}

}  // namespace kestrova::ui
