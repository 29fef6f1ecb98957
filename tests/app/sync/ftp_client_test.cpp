// The FTP client on its own, against a real server (pyftpdlib) and against a
// peer that accepts the connection and then says nothing, as a hung server
// does; a server that stops answering mid-session on every protocol. Also
// the kernel's file sending under it, which stores use only towards servers
// on other machines, so no store in these tests reaches it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <atomic>
#include <chrono>
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

// Both ends of a TCP connection on loopback.
struct LoopbackPair {
  UniqueFd sender, receiver;
  LoopbackPair() {
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(listener.get(), 1), 0);
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    sender.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    ::connect(sender.get(), reinterpret_cast<sockaddr*>(&address), length);  // EINPROGRESS; accept completes it
    receiver.reset(::accept(listener.get(), nullptr, nullptr));
  }
};

// A temporary file holding text, read from its start.
UniqueFd FileHolding(const std::string& text) {
  FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
  UniqueFd fd(::dup(fileno(file)));
  std::fclose(file);
  ::lseek(fd.get(), 0, SEEK_SET);
  return fd;
}

TEST(SendFromFile, AFileLargerThanTheSocketBuffersArrivesWholeAndItsEndIsZero) {
  // Of no round size and never repeating in step with a chunk.
  std::string text(9 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i % 251);
  UniqueFd file = FileHolding(text);
  LoopbackPair pair;
  ASSERT_TRUE(pair.receiver.valid());
  EXPECT_TRUE(PeerOnThisMachine(pair.sender.get()));
  std::string received;
  std::thread reader([&] {
    char buffer[65536];
    for (ssize_t got; (got = ::read(pair.receiver.get(), buffer, sizeof buffer)) > 0;) received.append(buffer, got);
  });
  std::atomic<bool> cancel = false;
  SocketWaits waits{&cancel};
  long sent = 0, total = 0;
  SocketFailure failure = SocketFailure::None;
  bool fileError = false;
  while ((sent = SendFromFile(pair.sender.get(), file.get(), 64 * 1024, waits, failure, fileError)) > 0) total += sent;
  EXPECT_EQ(sent, 0);
  EXPECT_EQ(failure, SocketFailure::None);
  EXPECT_FALSE(fileError);
  ::shutdown(pair.sender.get(), SHUT_WR);
  reader.join();
  EXPECT_EQ(total, static_cast<long>(text.size()));
  EXPECT_TRUE(received == text) << "the whole file, byte for byte";
}

TEST(SendFromFile, APeerThatHasGoneAndASourceItCannotSendAreToldApart) {
  std::atomic<bool> cancel = false;
  SocketWaits waits{&cancel};
  {
    SCOPED_TRACE("the peer has gone: no signal ends the process, and the file is not to blame");
    UniqueFd file = FileHolding(std::string(4 * 1024 * 1024, 'x'));
    LoopbackPair pair;
    pair.receiver.reset();
    SocketFailure failure = SocketFailure::None;
    bool fileError = true;
    long sent = 0;
    // The first sends may still go out before the peer's reset arrives.
    while ((sent = SendFromFile(pair.sender.get(), file.get(), 64 * 1024, waits, failure, fileError)) > 0) {
    }
    EXPECT_EQ(sent, -1);
    EXPECT_EQ(failure, SocketFailure::Closed);
    EXPECT_FALSE(fileError);
  }
  {
    SCOPED_TRACE("a pipe cannot be sent from: the caller is told to read it itself");
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    ASSERT_EQ(::write(writeEnd.get(), "abc", 3), 3);
    LoopbackPair pair;
    SocketFailure failure = SocketFailure::None;
    bool fileError = false;
    EXPECT_EQ(SendFromFile(pair.sender.get(), readEnd.get(), 64 * 1024, waits, failure, fileError), -1);
    EXPECT_EQ(failure, SocketFailure::Error);
    EXPECT_TRUE(fileError);
  }
}

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
    h.site.ftp.setIdleLimit(cancel ? std::chrono::milliseconds(std::chrono::minutes(30))
                                   : std::chrono::milliseconds(300));
    server.pause();
    std::atomic<bool> answered = false;
    std::thread canceller;
    // Pressed again and again: a cancel that came before the request began
    // would be forgotten by it.
    if (cancel)
      canceller = std::thread([&] {
        while (!answered) {
          h.site.ftp.cancelTransfer();
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
      });
    try {
      h.site.ftp.size(server.sitePath("/site/a.mp4"));
      ADD_FAILURE() << "a stopped server answered";
    } catch (const FtpError& error) {
      EXPECT_EQ(error.kind(), FtpError::Kind::Connection);
      EXPECT_NE(std::string(error.what()).find(cancel ? "操作已取消" : "服务器长时间没有响应"), std::string::npos)
          << error.what();
    }
    answered = true;
    if (canceller.joinable()) canceller.join();
    server.resume();
  }
}

}  // namespace
}  // namespace kestrova::sync
