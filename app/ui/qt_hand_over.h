// media::HandOver for a Qt window: work handed over from other threads runs
// on the thread that made this object, from its event loop (or from a Pump
// of its own). Errors of posted work go to the platform's error display.
#pragma once

#include <QObject>

#include "media/hand_over.h"

namespace kestrova::ui {

class Platform;

class QtHandOver : public media::HandOver {
 public:
  explicit QtHandOver(Platform& platform);
  ~QtHandOver() override;

 protected:
  void Wake() override;

 private:
  // Receives the wake-up calls; queued ones die with it.
  QObject waker_;
};

}  // namespace kestrova::ui
