// A second SFTP channel on the site's SSH session whose requests we frame
// ourselves. libssh 0.10 offers only blocking open, write, close and rename
// calls, each waiting for its answer before it returns: a sync of thousands
// of small files then pays four round trips per file one after the other.
// Here requests go out while earlier ones are still unanswered and their
// answers are matched by request id, so many files are under way at once.
// libssh still carries the connection, the login and the host-key check.
#pragma once

#include <libssh/libssh.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace kestrova::sync {

class SftpRequestChannel {
 public:
  // A packet from the server: its type, request id and what follows them.
  struct Reply {
    std::uint8_t type = 0;
    std::uint32_t id = 0;
    // STATUS: the code (0: done) and the server's message; HANDLE: the handle.
    std::uint32_t status = 0;
    std::string text;
  };
  static constexpr std::uint8_t kStatus = 101;
  static constexpr std::uint8_t kHandle = 102;

  // Opens a session channel running the "sftp" subsystem and says hello.
  // Nothing when the server will not open another channel or subsystem;
  // throws std::runtime_error when its hello makes no sense.
  static std::unique_ptr<SftpRequestChannel> open(ssh_session ssh);
  ~SftpRequestChannel();
  SftpRequestChannel(const SftpRequestChannel&) = delete;
  SftpRequestChannel& operator=(const SftpRequestChannel&) = delete;

  // The server renames over an existing file when asked
  // (posix-rename@openssh.com).
  bool overwritingRename() const { return overwritingRename_; }

  // Each request is queued for sending and returns its id.
  std::uint32_t openForWriting(const std::string& path);
  // The data is read straight into the packet: fill gets the space for at
  // most length bytes and returns how many it put there, which write
  // returns too (<= 0: nothing is queued). id: the request's.
  template <typename Fill>
  long write(const std::string& handle, std::uint64_t offset, size_t length, Fill fill, std::uint32_t& id);
  std::uint32_t close(const std::string& handle);
  std::uint32_t rename(const std::string& from, const std::string& to);
  std::uint32_t remove(const std::string& path);

  size_t queuedBytes() const { return out_.size(); }
  // Sends what is queued; false when the connection failed.
  bool flush();
  // The next whole reply. wait: block until one comes (false then means the
  // connection failed or was cut); otherwise false when none is there yet.
  // Throws std::runtime_error on a packet that makes no sense.
  bool next(Reply& reply, bool wait);

 private:
  static constexpr std::uint8_t kWriteRequest = 6;
  explicit SftpRequestChannel(ssh_channel channel) : channel_(channel) {}
  std::uint32_t begin(std::uint8_t type);
  void end(size_t start);
  // A request whose fields after the id are all strings.
  std::uint32_t textRequest(std::uint8_t type, std::initializer_list<std::string_view> texts);
  void putInt(std::uint32_t value);
  // Writes value over the four bytes queued at `at` (a length filled in later).
  void putIntAt(size_t at, std::uint32_t value);
  void putLong(std::uint64_t value);
  void putString(std::string_view text);
  bool receive(bool wait);
  bool takeReply(Reply& reply);

  ssh_channel channel_;
  std::string out_;
  std::string in_;
  std::uint32_t nextId_ = 1;
  bool overwritingRename_ = false;
};

template <typename Fill>
long SftpRequestChannel::write(const std::string& handle, std::uint64_t offset, size_t length, Fill fill,
                               std::uint32_t& id) {
  size_t start = out_.size();
  id = begin(kWriteRequest);
  putString(handle);
  putLong(offset);
  size_t lengthAt = out_.size();
  out_.resize(lengthAt + 4 + length);
  long got = fill(out_.data() + lengthAt + 4, length);
  if (got <= 0) {
    out_.resize(start);
    --nextId_;
    return got;
  }
  out_.resize(lengthAt + 4 + static_cast<size_t>(got));
  putIntAt(lengthAt, static_cast<std::uint32_t>(got));
  end(start);
  return got;
}

}  // namespace kestrova::sync
