#include "sftp_request_channel.h"

#include <algorithm>
#include <stdexcept>

namespace kestrova::sync {
namespace {

constexpr std::uint8_t kInit = 1, kVersion = 2, kOpen = 3, kClose = 4, kRemove = 13, kRename = 18, kExtended = 200;
constexpr std::uint32_t kOpenWrite = 0x02, kOpenCreate = 0x08, kOpenTruncate = 0x10;
constexpr std::uint32_t kAttributePermissions = 0x04;
// Our replies are statuses and handles; anything near this size is garbage.
constexpr std::uint32_t kLargestReply = 256 * 1024;
constexpr int kPollMs = 100;

// Reads the big-endian fields of a packet body; fails on a short one.
class Fields {
 public:
  explicit Fields(std::string_view data) : data_(data) {}
  bool integer(std::uint32_t& value) {
    if (data_.size() < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(data_[i]);
    data_.remove_prefix(4);
    return true;
  }
  bool text(std::string& value) {
    std::uint32_t length = 0;
    if (!integer(length) || data_.size() < length) return false;
    value.assign(data_.substr(0, length));
    data_.remove_prefix(length);
    return true;
  }
  bool empty() const { return data_.empty(); }

 private:
  std::string_view data_;
};

}  // namespace

std::unique_ptr<SftpRequestChannel> SftpRequestChannel::open(ssh_session ssh) {
  ssh_channel channel = ssh_channel_new(ssh);
  if (!channel) return nullptr;
  if (ssh_channel_open_session(channel) != SSH_OK || ssh_channel_request_subsystem(channel, "sftp") != SSH_OK) {
    ssh_channel_free(channel);
    return nullptr;
  }
  std::unique_ptr<SftpRequestChannel> opened(new SftpRequestChannel(channel));
  // INIT carries the version where other requests carry their id.
  size_t start = opened->out_.size();
  opened->putInt(0);
  opened->out_.push_back(static_cast<char>(kInit));
  opened->putInt(3);
  opened->end(start);
  if (!opened->flush()) return nullptr;
  for (;;) {
    if (!opened->receive(true)) return nullptr;
    if (opened->in_.size() < 4) continue;
    Fields length(opened->in_);
    std::uint32_t size = 0;
    length.integer(size);
    if (size > kLargestReply || size < 5) throw std::runtime_error("SFTP 服务器的问候无法识别");
    if (opened->in_.size() < 4 + size) continue;
    std::string_view packet(opened->in_.data() + 4, size);
    if (static_cast<std::uint8_t>(packet[0]) != kVersion) throw std::runtime_error("SFTP 服务器的问候无法识别");
    Fields fields(packet.substr(1));
    std::uint32_t version = 0;
    if (!fields.integer(version) || version < 3) throw std::runtime_error("SFTP 服务器的版本过旧");
    std::string name, data;
    while (fields.text(name) && fields.text(data))
      if (name == "posix-rename@openssh.com" && data == "1") opened->overwritingRename_ = true;
    opened->in_.erase(0, 4 + size);
    return opened;
  }
}

SftpRequestChannel::~SftpRequestChannel() { ssh_channel_free(channel_); }

void SftpRequestChannel::putInt(std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out_.push_back(static_cast<char>((value >> shift) & 0xff));
}

void SftpRequestChannel::putLong(std::uint64_t value) {
  putInt(static_cast<std::uint32_t>(value >> 32));
  putInt(static_cast<std::uint32_t>(value));
}

void SftpRequestChannel::putString(std::string_view text) {
  putInt(static_cast<std::uint32_t>(text.size()));
  out_.append(text);
}

std::uint32_t SftpRequestChannel::begin(std::uint8_t type) {
  putInt(0);  // the length, filled in by end()
  out_.push_back(static_cast<char>(type));
  std::uint32_t id = nextId_++;
  putInt(id);
  return id;
}

void SftpRequestChannel::putIntAt(size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
}

void SftpRequestChannel::end(size_t start) { putIntAt(start, static_cast<std::uint32_t>(out_.size() - start - 4)); }

std::uint32_t SftpRequestChannel::openForWriting(const std::string& path) {
  size_t start = out_.size();
  std::uint32_t id = begin(kOpen);
  putString(path);
  putInt(kOpenWrite | kOpenCreate | kOpenTruncate);
  putInt(kAttributePermissions);
  putInt(0644);
  end(start);
  return id;
}

std::uint32_t SftpRequestChannel::textRequest(std::uint8_t type, std::initializer_list<std::string_view> texts) {
  size_t start = out_.size();
  std::uint32_t id = begin(type);
  for (std::string_view text : texts) putString(text);
  end(start);
  return id;
}

std::uint32_t SftpRequestChannel::close(const std::string& handle) { return textRequest(kClose, {handle}); }

std::uint32_t SftpRequestChannel::rename(const std::string& from, const std::string& to) {
  if (overwritingRename_) return textRequest(kExtended, {"posix-rename@openssh.com", from, to});
  return textRequest(kRename, {from, to});
}

std::uint32_t SftpRequestChannel::remove(const std::string& path) { return textRequest(kRemove, {path}); }

bool SftpRequestChannel::flush() {
  size_t sent = 0;
  while (sent < out_.size()) {
    // libssh keeps reading (and buffering) what the server sends while it
    // waits for room in the server's window, so a full window never locks up.
    auto piece = static_cast<std::uint32_t>(std::min<size_t>(out_.size() - sent, 1 << 20));
    int written = ssh_channel_write(channel_, out_.data() + sent, piece);
    if (written <= 0) return false;
    sent += static_cast<size_t>(written);
  }
  out_.clear();
  return true;
}

bool SftpRequestChannel::receive(bool wait) {
  for (;;) {
    int available = ssh_channel_poll_timeout(channel_, wait ? kPollMs : 0, 0);
    if (available == SSH_ERROR || available == SSH_EOF) return false;
    if (available > 0) {
      size_t had = in_.size();
      in_.resize(had + static_cast<size_t>(available));
      int got = ssh_channel_read(channel_, in_.data() + had, static_cast<std::uint32_t>(available), 0);
      in_.resize(had + static_cast<size_t>(std::max(got, 0)));
      if (got < 0) return false;
      return true;
    }
    if (!wait) return true;
    // A cut socket (cancel, idle limit) shows as an error on the next poll.
    if (!ssh_channel_is_open(channel_)) return false;
  }
}

bool SftpRequestChannel::takeReply(Reply& reply) {
  if (in_.size() < 4) return false;
  Fields header(in_);
  std::uint32_t size = 0;
  header.integer(size);
  if (size > kLargestReply || size < 5) throw std::runtime_error("SFTP 服务器的回答无法识别");
  if (in_.size() < 4 + size) return false;
  std::string_view packet(in_.data() + 4, size);
  reply = Reply{};
  reply.type = static_cast<std::uint8_t>(packet[0]);
  Fields fields(packet.substr(1));
  if (!fields.integer(reply.id)) throw std::runtime_error("SFTP 服务器的回答无法识别");
  bool readable = true;
  if (reply.type == kStatus) {
    readable = fields.integer(reply.status);
    // Version 3 servers may leave out the message.
    if (readable && !fields.empty()) fields.text(reply.text);
  } else if (reply.type == kHandle) {
    readable = fields.text(reply.text);
  }
  in_.erase(0, 4 + size);
  if (!readable) throw std::runtime_error("SFTP 服务器的回答无法识别");
  return true;
}

bool SftpRequestChannel::next(Reply& reply, bool wait) {
  for (;;) {
    if (takeReply(reply)) return true;
    size_t had = in_.size();
    if (!receive(wait)) return false;
    if (!wait && in_.size() == had) return false;
  }
}

}  // namespace kestrova::sync
