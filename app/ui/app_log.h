// The tool's one log. The media library allows a single logger per process;
// the application makes it before any window and keeps it until the last one
// has gone, so the main window's player and the batch dialog's engine log
// into the same place whichever windows exist. Lines from any thread reach
// the GUI thread through the log's own hand-over, and go to the window that
// shows them (the batch dialog's hidden memo) while one is attached.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "media/logger.h"
#include "qt_hand_over.h"

namespace kestrova::ui {

class AppLog {
 public:
  using Sink = std::function<void(std::uint32_t threadId, media::TLogLevel level, const std::string& message)>;

  // Made on the GUI thread; throws std::logic_error while another logger
  // of the host's exists.
  AppLog();
  ~AppLog();
  AppLog(const AppLog&) = delete;
  AppLog& operator=(const AppLog&) = delete;

  media::TFFLogger& logger() { return logger_; }
  // Where lines go from now on, on the GUI thread (GUI thread only). An
  // empty sink drops them: a window detaches before it goes.
  void setSink(Sink sink) { sink_ = std::move(sink); }

 private:
  // Before the logger: lines handed over wait in it, so it outlives the
  // logger that posts them.
  QtHandOver handOver_;
  Sink sink_;
  media::TFFLogger logger_;
};

}  // namespace kestrova::ui
