#include "app_log.h"

namespace kestrova::ui {

AppLog::AppLog() {
  // A line is posted, never waited for: the thread logging it may hold a
  // lock of the libraries' that the GUI thread is waiting for.
  logger_.SetTriggerEventInMainThread(false);
  logger_.SetOnLog([this](const void*, std::uint32_t threadId, media::TLogLevel level, const std::string& message) {
    handOver_.Post([this, threadId, level, message] {
      if (sink_) sink_(threadId, level, message);
    });
  });
}

AppLog::~AppLog() {
  // Lines still on their way have nowhere to go.
  handOver_.Close();
}

}  // namespace kestrova::ui
