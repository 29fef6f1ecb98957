// media::HandOver for a Qt window: work handed over from other threads runs
// on the thread that made this object, from its event loop (or from a Pump
// of its own).
#pragma once

#include <QObject>
#include <mutex>

#include "media/hand_over.h"

namespace kestrova::ui {

class QtHandOver : public QObject, public media::HandOver {
 public:
  // Made on the GUI thread, which becomes the host thread.
  explicit QtHandOver(QObject* parent = nullptr);
  ~QtHandOver() override;

 protected:
  void Wake() override;

 private:
  // Wake() may come from another thread while this object goes away: the
  // flag keeps a late wake-up from reaching it.
  std::mutex aliveLock_;
  bool alive_ = true;
};

}  // namespace kestrova::ui
