// The window goes on working while one of its own FTP commands waits on a
// slow server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "desktop_fixture.h"

namespace kestrova::test {
namespace {

// An FTP server that keeps its greeting back until `release` is set (or a
// long grace has passed), then turns the client away.
class SlowGreetingServer {
 public:
  explicit SlowGreetingServer(std::atomic<bool>& release) : release_(release) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~SlowGreetingServer() {
    thread_.join();
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  void serve() {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, 20000) != 1) return;
    int client = ::accept(listener_, nullptr, nullptr);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!release_ && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const char refusal[] = "421 Too busy, try later\r\n";
    ::send(client, refusal, sizeof refusal - 1, MSG_NOSIGNAL);
    ::close(client);
  }

  std::atomic<bool>& release_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

using WindowFtp = DesktopFixture;

TEST_F(WindowFtp, TheWindowKeepsWorkingWhileTheConnectionTestWaits) {
  createWindows();
  std::atomic<bool> timerRan{false};
  SlowGreetingServer server(timerRan);
  ui::TMainForm& form = main();
  form.edServerIP->setText("127.0.0.1");
  form.edPort->setText(QString::number(server.port()));
  form.edUserName->setText("site");
  form.edPW->setText("pw");
  form.edServerPath->setText("/");

  // The server answers only once the window's thread has run this timer, so
  // it runs during the test only when the window is not frozen.
  QObject timerOwner;  // the timer never outlives the flag it sets
  QTimer::singleShot(0, &timerOwner, [&] { timerRan = true; });
  form.btntestConnClick();
  bool ranDuringTheTest = timerRan;

  EXPECT_TRUE(ranDuringTheTest) << "the window's thread was blocked by the FTP connect";
  EXPECT_EQ(platform_.texts(),
            QStringList{QStringLiteral("不能和服务器建立连接,请确定您的网络正常并检查相关参数设置是否正确！")});
  EXPECT_TRUE(form.pnlspsc->isVisibleTo(&form)) << "a failed connection brings the upload panel forward";
}

}  // namespace
}  // namespace kestrova::test
