#include "sync_harness.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "date_text.h"

namespace kestrova::sync {

WallTime SyncHarness::NowWallTimeForTests() { return NowWallTime(); }

void ExpectStoppedServerWaitEnds(SyncHarness& h, bool cancel, const std::function<void()>& call) {
  h.site.ftp.setIdleLimit(cancel ? std::chrono::milliseconds(std::chrono::minutes(30))
                                 : std::chrono::milliseconds(300));
  h.server.pause();
  std::atomic<bool> answered = false;
  std::thread canceller;
  if (cancel)
    canceller = std::thread([&] {
      while (!answered) {
        h.site.ftp.cancelTransfer();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
  try {
    call();
    ADD_FAILURE() << "a stopped server answered";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Connection);
    EXPECT_NE(std::string(error.what()).find(cancel ? "操作已取消" : "服务器长时间没有响应"), std::string::npos)
        << error.what();
  }
  answered = true;
  if (canceller.joinable()) canceller.join();
  h.server.resume();
}

std::string LocalTimeText(long offsetSeconds) {
  std::time_t when = std::time(nullptr) + offsetSeconds;
  std::tm parts{};
  localtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

long WholeMinuteOffset(long offsetSeconds) {
  std::time_t when = std::time(nullptr) + offsetSeconds;
  return offsetSeconds - static_cast<long>(when % 60);
}

}  // namespace kestrova::sync
