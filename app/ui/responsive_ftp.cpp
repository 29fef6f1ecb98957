#include "responsive_ftp.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "qt_hand_over.h"

namespace kestrova::ui {
namespace {

// Notes that the application was asked to end: a command still waiting on
// the server is then cut off rather than waited for.
class QuitWatch : public QObject {
 public:
  QuitWatch() {
    if (QCoreApplication* application = QCoreApplication::instance()) application->installEventFilter(this);
  }
  ~QuitWatch() override {
    if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
  }
  bool asked() const { return asked_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) asked_ = true;
    return false;  // the application still ends as it was told
  }

 private:
  bool asked_ = false;
};

}  // namespace

void RunFtpKeepingWindowAlive(sync::SyncView& window, sync::FtpClient& ftp,
                              const std::function<void(sync::SyncView& view)>& work) {
  QtHandOver handOver;
  sync::MarshalledView view(window, [&handOver](const std::function<void()>& piece) { handOver.Call(piece); });
  QuitWatch quit;
  std::atomic<bool> done{false};
  std::exception_ptr failure;

  std::thread helper([&] {
    try {
      work(view);
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    handOver.Nudge();
  });

  // The hand-over serves the window's own events while it waits (painting,
  // timers, network replies; user input waits) and runs what the command
  // hands back to this thread.
  auto ended = [&] { return done.load() || quit.asked(); };
  while (!handOver.PumpUntil(ended, std::chrono::hours(1))) {
  }
  // Told to end: the command is cut off rather than waited for, and whatever
  // it still hands over (its boxes return at once by then) runs here.
  while (!handOver.PumpUntil([&] { return done.load(); }, std::chrono::milliseconds(20))) {
    ftp.cancelTransfer();
  }
  helper.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kestrova::ui
