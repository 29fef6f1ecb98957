// A bare HTTP/1.1 client on a plain socket, for tests that need what a
// library client hides: several requests in one write, a connection left
// half-sent, or hundreds of connections held open at once.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrova::test {

struct RawResponse {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

class RawConnection {
 public:
  // Connects to 127.0.0.1:port; throws std::runtime_error when it cannot.
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(RawConnection&& other) noexcept;
  RawConnection& operator=(RawConnection&&) = delete;
  RawConnection(const RawConnection&) = delete;

  // Sends all bytes; false when the connection is gone.
  bool send(const std::string& bytes);
  // Reads one response (status line, headers, Content-Length body). Nothing
  // when the connection ended, broke or the time ran out first.
  std::optional<RawResponse> read(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // True when the server closed the connection in an orderly way (end of
  // stream) within the time; false on a reset or when it stays open.
  bool closedByPeer(std::chrono::milliseconds timeout);
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::string pending_;  // bytes read beyond the last response
};

// A POST /service request with the given text and session.
std::string ServicePost(const std::string& text, const std::string& session = "", bool close = false);
// A GET request for path.
std::string Get(const std::string& path, bool close = false);

// Lets this process hold as many sockets as its hard limit allows.
void RaiseOpenFileLimit();

}  // namespace kestrova::test
