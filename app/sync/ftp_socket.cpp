#include "ftp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrova::sync {
namespace {

using Clock = std::chrono::steady_clock;
// How often a wait looks at the cancel flag.
constexpr int kSliceMs = 100;

bool Cancelled(const SocketWaits& waits) { return waits.cancel && waits.cancel->load(); }

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

void KeepAlive(int fd) {
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  // Commands are single short lines sent as they come; waiting to coalesce
  // them only adds a round trip's delay to each.
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

SocketFailure WaitReady(int fd, bool forWriting, const SocketWaits& waits) {
  auto deadline = Clock::now() + waits.idleLimit;
  pollfd entry{fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
  for (;;) {
    if (Cancelled(waits)) return SocketFailure::Cancelled;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return SocketFailure::TimedOut;
    int ready = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
    if (ready > 0) return SocketFailure::None;  // errors and hang-ups show on the read or write that follows
    if (ready < 0 && errno != EINTR) return SocketFailure::Error;
  }
}

UniqueFd ConnectTcp(const std::string& host, int port, const SocketWaits& waits, SocketFailure& failure,
                    std::string& detail) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  int resolved = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (resolved != 0) {
    failure = SocketFailure::Error;
    detail = std::string("无法解析服务器地址 ") + host + "：" + gai_strerror(resolved);
    return UniqueFd();
  }
  failure = SocketFailure::Error;
  detail = "无法连接到 " + host + ":" + service;
  for (addrinfo* address = found; address; address = address->ai_next) {
    UniqueFd fd(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
    if (!fd.valid()) continue;
    SetNonBlocking(fd.get());
    KeepAlive(fd.get());
    if (::connect(fd.get(), address->ai_addr, address->ai_addrlen) != 0 && errno != EINPROGRESS) {
      detail = "无法连接到 " + host + ":" + service + "：" + std::strerror(errno);
      continue;
    }
    failure = WaitReady(fd.get(), true, waits);
    if (failure != SocketFailure::None) {
      if (failure == SocketFailure::Cancelled) break;
      detail = "连接 " + host + ":" + service + " 超时";
      continue;
    }
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
      failure = SocketFailure::Error;
      detail = "无法连接到 " + host + ":" + service + "：" + std::strerror(error);
      continue;
    }
    ::freeaddrinfo(found);
    failure = SocketFailure::None;
    return fd;
  }
  ::freeaddrinfo(found);
  return UniqueFd();
}

SocketFailure SendAll(int fd, std::string_view data, const SocketWaits& waits) {
  while (!data.empty()) {
    ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      data.remove_prefix(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (SocketFailure failure = WaitReady(fd, true, waits); failure != SocketFailure::None) return failure;
      continue;
    }
    return errno == EPIPE || errno == ECONNRESET ? SocketFailure::Closed : SocketFailure::Error;
  }
  return SocketFailure::None;
}

void LimitUnsentBytes(int fd, int bytes) { setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &bytes, sizeof bytes); }

long ReceiveSome(int fd, char* buffer, size_t size, const SocketWaits& waits, SocketFailure& failure) {
  for (;;) {
    ssize_t got = ::recv(fd, buffer, size, 0);
    if (got >= 0) {
      failure = SocketFailure::None;
      return static_cast<long>(got);
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      failure = WaitReady(fd, false, waits);
      if (failure != SocketFailure::None) return -1;
      continue;
    }
    failure = errno == ECONNRESET ? SocketFailure::Closed : SocketFailure::Error;
    return -1;
  }
}

SocketFailure FinishSending(int fd, const SocketWaits& waits) {
  if (::shutdown(fd, SHUT_WR) != 0) return SocketFailure::Error;
  char buffer[4096];
  SocketFailure failure = SocketFailure::None;
  while (ReceiveSome(fd, buffer, sizeof buffer, waits, failure) > 0) {
  }
  return failure;
}

DataListener::DataListener(int controlFd) {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (::getsockname(controlFd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return;
  if (local.ss_family == AF_INET) {
    reinterpret_cast<sockaddr_in&>(local).sin_port = 0;
  } else if (local.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6&>(local).sin6_port = 0;
  } else {
    return;
  }
  UniqueFd fd(::socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), length) != 0 || ::listen(fd.get(), 1) != 0)
    return;
  length = sizeof local;
  if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) return;
  if (local.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(local);
    uint32_t address = ntohl(v4.sin_addr.s_addr);
    unsigned port = ntohs(v4.sin_port);
    command_ = "PORT " + std::to_string(address >> 24) + "," + std::to_string((address >> 16) & 255) + "," +
               std::to_string((address >> 8) & 255) + "," + std::to_string(address & 255) + "," +
               std::to_string(port >> 8) + "," + std::to_string(port & 255);
  } else {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(local);
    char text[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text)) return;
    command_ = std::string("EPRT |2|") + text + "|" + std::to_string(ntohs(v6.sin6_port)) + "|";
  }
  fd_ = std::move(fd);
}

UniqueFd DataListener::accept(const SocketWaits& waits, SocketFailure& failure) {
  for (;;) {
    if (UniqueFd data = acceptIfWaiting(); data.valid()) {
      failure = SocketFailure::None;
      return data;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      failure = SocketFailure::Error;
      return UniqueFd();
    }
    failure = WaitReady(fd_.get(), false, waits);
    if (failure != SocketFailure::None) return UniqueFd();
  }
}

UniqueFd DataListener::acceptIfWaiting() {
  UniqueFd data(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (data.valid()) KeepAlive(data.get());
  return data;
}

}  // namespace kestrova::sync
