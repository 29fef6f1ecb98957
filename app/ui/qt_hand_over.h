// The hand-over of the desktop tool: work handed from another thread wakes
// the GUI thread's event loop, which runs it; a GUI thread that waits in
// PumpUntil keeps painting and serving timers (user input waits).
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
  bool ServeHostEvents() override;

 private:
  // Wake() may race with destruction from another thread: the flag, under
  // its own short lock, keeps a late wake-up from reaching a dying QObject.
  std::mutex aliveLock_;
  bool alive_ = true;
};

}  // namespace kestrova::ui
