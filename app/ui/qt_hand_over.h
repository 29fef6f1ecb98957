// The hand-over of the desktop tool: work handed to the window's thread runs
// from the window's event loop (a queued call that pumps), and while the
// window's thread waits in the media code, that code pumps it itself.
#pragma once

#include <QObject>

#include "media/hand_over.h"

namespace kestrova::ui {

class QtHandOver : public QObject, public media::HandOver {
 public:
  explicit QtHandOver(QObject* parent = nullptr) : QObject(parent) {}

 protected:
  void Wake() override;
};

}  // namespace kestrova::ui
