// The sockets under the FTP client: the control connection's TCP link, the
// listening socket of an active-mode transfer and the waits on them. Every
// wait runs in short slices so that a cancel flag set from another thread
// ends it within one slice, and every wait has an idle limit so a server that
// stops answering cannot hold the tool for good.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

namespace kestrova::sync {

// Owns one file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Why a socket operation gave up.
enum class SocketFailure { None, Cancelled, TimedOut, Closed, Error };

struct SocketWaits {
  const std::atomic<bool>* cancel = nullptr;
  std::chrono::milliseconds idleLimit{120000};
};

// Resolves host and connects to the first address that answers within the
// limit. Returns an invalid descriptor and the reason otherwise.
UniqueFd ConnectTcp(const std::string& host, int port, const SocketWaits& waits, SocketFailure& failure,
                    std::string& detail);

// Waits until fd is readable (or writable); SocketFailure::None when it is.
SocketFailure WaitReady(int fd, bool forWriting, const SocketWaits& waits);

// Writes all of data (no SIGPIPE on a closed peer).
SocketFailure SendAll(int fd, std::string_view data, const SocketWaits& waits);

// Keeps at most about `bytes` of what we send waiting in our own queue for
// room at the peer (the rest of the buffer autotuning stays as it is): the
// peer then gets data that was written to the socket moments ago.
void LimitUnsentBytes(int fd, int bytes);

// Reads what is there (waiting for at least one byte): the count read, 0 at
// the end of the stream, -1 with failure set otherwise.
long ReceiveSome(int fd, char* buffer, size_t size, const SocketWaits& waits, SocketFailure& failure);

// Ends our sending side (FIN) and reads, dropping it, whatever the peer still
// sends until it closes its side. Closing a socket while bytes sent to us lie
// unread makes the system reset the link, and a reset throws away what the
// peer has not yet read of ours: the tail of an upload. (A TLS server sends
// its session tickets unasked, so an upload's data connection has such
// bytes.) A failure here is for the caller's information only: the
// server's reply on the transfer is what counts.
SocketFailure FinishSending(int fd, const SocketWaits& waits);

// The listening end of an active-mode transfer: bound to the address the
// control connection leaves from, on a port the system picks, so the server
// connects back to the interface it already reaches us on.
class DataListener {
 public:
  // Throws nothing: valid() tells whether the socket could be made.
  explicit DataListener(int controlFd);
  bool valid() const { return fd_.valid(); }
  // "PORT h1,h2,h3,h4,p1,p2" for IPv4, "EPRT |2|address|port|" for IPv6.
  const std::string& command() const { return command_; }
  // Takes the server's connection; an invalid descriptor and the reason when
  // none comes within the limit.
  UniqueFd accept(const SocketWaits& waits, SocketFailure& failure);
  // Takes a connection only when one is already waiting.
  UniqueFd acceptIfWaiting();

 private:
  UniqueFd fd_;
  std::string command_;
};

}  // namespace kestrova::sync
