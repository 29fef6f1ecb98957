#include "raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace kestrova::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<long long>(0, left));
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Parses a complete response at the front of data; returns its length, or 0
// while more bytes are needed.
size_t ParseResponse(const std::string& data, RawResponse& out) {
  size_t headEnd = data.find("\r\n\r\n");
  if (headEnd == std::string::npos) return 0;
  RawResponse response;
  size_t lineEnd = data.find("\r\n");
  std::string statusLine = data.substr(0, lineEnd);
  size_t space = statusLine.find(' ');
  response.status = space == std::string::npos ? 0 : std::atoi(statusLine.c_str() + space + 1);
  size_t at = lineEnd + 2;
  while (at < headEnd) {
    size_t end = data.find("\r\n", at);
    std::string line = data.substr(at, end - at);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      size_t valueStart = line.find_first_not_of(' ', colon + 1);
      response.headers[Lower(line.substr(0, colon))] =
          valueStart == std::string::npos ? "" : line.substr(valueStart);
    }
    at = end + 2;
  }
  size_t length = response.headers.count("content-length") ? std::stoul(response.headers["content-length"]) : 0;
  if (data.size() < headEnd + 4 + length) return 0;
  response.body = data.substr(headEnd + 4, length);
  out = std::move(response);
  return headEnd + 4 + length;
}

}  // namespace

RawConnection::RawConnection(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("socket: " + std::to_string(errno));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int error = errno;
    close(fd_);
    throw std::runtime_error("connect: " + std::to_string(error));
  }
}

RawConnection::~RawConnection() {
  if (fd_ >= 0) close(fd_);
}

RawConnection::RawConnection(RawConnection&& other) noexcept : fd_(other.fd_), pending_(std::move(other.pending_)) {
  other.fd_ = -1;
}

bool RawConnection::send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::optional<RawResponse> RawConnection::read(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  RawResponse response;
  while (true) {
    if (size_t used = ParseResponse(pending_, response)) {
      pending_.erase(0, used);
      return response;
    }
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, MillisecondsLeft(deadline)) <= 0) return std::nullopt;
    char buffer[65536];
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

bool RawConnection::closedByPeer(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (true) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, MillisecondsLeft(deadline)) <= 0) return false;
    char buffer[4096];
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n == 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

std::string ServicePost(const std::string& text, const std::string& session, bool close) {
  std::string request = "POST /service HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml; charset=utf-8\r\n";
  if (!session.empty()) request += "X-Session: " + session + "\r\n";
  if (close) request += "Connection: close\r\n";
  return request + "Content-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

std::string Get(const std::string& path, bool close) {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + (close ? "Connection: close\r\n" : "") + "\r\n";
}

void RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace kestrova::test
