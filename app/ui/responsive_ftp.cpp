#include "responsive_ftp.h"

#include <QEventLoop>
#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "qt_hand_over.h"

namespace kestrova::ui {

void RunFtpKeepingWindowAlive(sync::SyncView& window, sync::FtpClient& ftp,
                              const std::function<void(sync::SyncView& view)>& work) {
  QtHandOver handOver;
  sync::MarshalledView view(window, [&handOver](const std::function<void()>& piece) { handOver.Call(piece); });
  QEventLoop loop;
  std::atomic<bool> done{false};
  std::exception_ptr failure;

  std::thread helper([&] {
    try {
      work(view);
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    // Queued to the loop's thread; dropped with the loop if it never ran.
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });

  if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  // The loop also ends when the application is told to end; the command is
  // then cut off rather than waited for, and whatever it still hands over
  // (its boxes return at once by then) runs here.
  while (!done) {
    ftp.cancelTransfer();
    handOver.Pump(std::chrono::milliseconds(20));
  }
  helper.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kestrova::ui
