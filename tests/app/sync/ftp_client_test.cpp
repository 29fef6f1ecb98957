// The FTP client on its own, against a real server (pyftpdlib) and against a
// peer that accepts the connection and then says nothing, as a hung server
// does; a server that stops answering mid-session on every protocol.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ftp_client.h"
#include "ftp_fixture.h"
#include "process.h"
#include "sync_harness.h"

namespace kestrova::sync {
namespace {

using test::FtpServerProcess;

// A loopback listener that takes connections and never answers.
class SilentPeer {
 public:
  SilentPeer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(fd_, 4), 0);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentPeer() { ::close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

FtpLogin LoginFor(const FtpServerProcess& server) {
  return {"127.0.0.1", server.port(), server.user(), server.password()};
}

TEST(FtpClient, AMultiLineGreetingEndsOnlyAtItsOwnCodeFollowedByABlank) {
  FtpServerProcess::Options options;
  // Longer than a line, so it goes out as "220-..." lines; the inner lines
  // look like replies of their own.
  options.banner = "Welcome to the test site; this greeting runs over one line on purpose.\r\n"
                   "230 this is not a login reply\r\n"
                   "220-nor is this the end";
  FtpServerProcess server(options);
  FtpClient ftp;
  ftp.connect(LoginFor(server));
  EXPECT_TRUE(ftp.connected());
  // Had an inner line been taken as the greeting's end, every reply after it
  // would be read one command late.
  EXPECT_TRUE(ftp.makeDir("/made"));
  EXPECT_TRUE(ftp.changeDir("/made"));
  EXPECT_FALSE(ftp.changeDir("/missing"));
  EXPECT_TRUE(std::filesystem::is_directory(server.root() / "made"));
}

TEST(FtpClient, ListingThenSizeAndARenamedStoreKeepTheirTransferTypes) {
  FtpServerProcess server;
  test::WriteFile(server.root() / "d/a.bin", std::string(70000, 'a'));
  test::TempDir local;
  test::WriteFile(local.path() / "b.bin", std::string(200000, 'b'));
  FtpClient ftp;
  ftp.connect(LoginFor(server));
  EXPECT_NE(ftp.list("/d/").find("a.bin"), std::string::npos);
  // SIZE right after a listing: servers refuse it in ASCII mode.
  EXPECT_EQ(ftp.size("/d/a.bin"), 70000);
  EXPECT_FALSE(ftp.size("/d/none.bin"));
  EXPECT_TRUE(ftp.storeAndRename((local.path() / "b.bin").string(), "/d/.b.bin.upload", "/d/b.bin"));
  EXPECT_EQ(test::ReadFile(server.root() / "d/b.bin"), std::string(200000, 'b'));
  EXPECT_FALSE(std::filesystem::exists(server.root() / "d/.b.bin.upload"));
  // A listing of a missing folder is refused, and the connection carries on.
  try {
    ftp.list("/none");
    ADD_FAILURE() << "a missing folder was listed";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Refused);
  }
  EXPECT_EQ(ftp.size("/d/b.bin"), 200000);
}

TEST(FtpClient, APortRefusedAfterEarlierTransfersFailsTheStoreWithTheServersReason) {
  // Once a PORT has gone through, the next goes out together with its STOR;
  // this server still takes the STOR and waits for a connection it never
  // makes, so nothing it says after that can be matched to our commands.
  FtpServerProcess server({.portsBeforeRefusal = 1});
  test::TempDir local;
  test::WriteFile(local.path() / "a.bin", "a");
  FtpClient ftp;
  ftp.connect(LoginFor(server));
  ftp.list("/");
  try {
    ftp.store((local.path() / "a.bin").string(), "/a.bin");
    ADD_FAILURE() << "a store without a data connection succeeded";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Refused);
    EXPECT_NE(std::string(error.what()).find("425 No more data connections."), std::string::npos) << error.what();
  }
  EXPECT_FALSE(ftp.connected());
  EXPECT_THROW(ftp.size("/a.bin"), FtpError);
}

TEST(FtpClient, ANameWithALineBreakIsNeverSent) {
  FtpServerProcess server;
  FtpClient ftp;
  ftp.connect(LoginFor(server));
  size_t before = ftp.commandsSent().size();
  EXPECT_THROW(ftp.makeDir("/a\r\nDELE /b"), FtpError);
  EXPECT_EQ(ftp.commandsSent().size(), before);
  EXPECT_TRUE(ftp.changeDir("/"));
}

TEST(FtpClient, ARefusedLoginAndAMissingServerAreTwoDifferentErrors) {
  FtpServerProcess server;
  FtpClient ftp;
  FtpLogin wrong = LoginFor(server);
  wrong.password = "wrong";
  for (const FtpLogin& login : {wrong, FtpLogin{"127.0.0.1", test::FreeTcpPort(), "u", "p"}}) {
    try {
      ftp.connect(login);
      ADD_FAILURE() << "connected to port " << login.port << " as " << login.user << "/" << login.password;
    } catch (const FtpError& error) {
      EXPECT_EQ(error.kind(), login.password == "wrong" ? FtpError::Kind::Login : FtpError::Kind::Connection);
      EXPECT_FALSE(std::string(error.what()).empty());
    }
    EXPECT_FALSE(ftp.connected());
  }
}

TEST(FtpClient, ACancelEndsTheWaitOnAServerThatNeverAnswers) {
  SilentPeer peer;
  FtpClient ftp;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ftp.cancelTransfer();
  });
  // Without the cancel this would wait for the two-minute idle limit.
  auto started = std::chrono::steady_clock::now();
  try {
    ftp.connect({"127.0.0.1", peer.port(), "u", "p"});
    ADD_FAILURE() << "a silent peer counted as a server";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Connection);
  }
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  EXPECT_FALSE(ftp.connected());
}

using ClientOnEveryProtocol = OnEveryProtocol;
INSTANTIATE_TEST_SUITE_P(Site, ClientOnEveryProtocol, ::testing::ValuesIn(kSiteProtocols), ProtocolTestName);

// A server that stops answering once logged in (stopped where it stands,
// connections open): the idle limit ends the wait in its own words, and a
// cancel ends it as well.
TEST_P(ClientOnEveryProtocol, AServerThatStopsAnsweringEndsTheWaitAtTheIdleLimitOrOnCancel) {
  FtpServerProcess server(On());
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "idle limit");
    SyncHarness h(server);
    h.connect();
    ASSERT_TRUE(h.site.ftp.connected()) << (h.panel.messages.empty() ? "" : h.panel.messages.back().text);
    ExpectStoppedServerWaitEnds(h, cancel, [&] { h.site.ftp.size(server.sitePath("/site/a.mp4")); });
  }
}

}  // namespace
}  // namespace kestrova::sync
