#include "sftp_session.h"

#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "ftp_client.h"
#include "sftp_request_channel.h"
#include "sftp_upload_batch.h"
#include "tls_link.h"
#include "trust_store.h"
#include "wall_time.h"

namespace kestrova::sync {
namespace {

using std::chrono::milliseconds;
constexpr milliseconds kConnectLimit{30000};
constexpr long kIdleLimitSeconds = 120;
// Every SFTP server takes writes of 32 KiB. OpenSSH's takes requests of up
// to 256 KiB whole and says so (limits@openssh.com): with it a write carries
// 255 KiB, so a large file needs an eighth of the round trips. libssh 0.10
// waits for each write's answer before the next, so the round trips are
// what bounds a large file's speed.
constexpr size_t kPortableChunkBytes = 32 * 1024;
constexpr size_t kOpenSshChunkBytes = 255 * 1024;

std::string HostKeyFingerprint(ssh_session ssh) {
  ssh_key key = nullptr;
  if (ssh_get_server_publickey(ssh, &key) != SSH_OK) return "";
  unsigned char* hash = nullptr;
  size_t length = 0;
  std::string text;
  if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == 0) {
    char* printed = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    if (printed) text = printed;
    ssh_string_free_char(printed);
    ssh_clean_pubkey_hash(&hash);
  }
  ssh_key_free(key);
  return NormalizeFingerprint(text);
}

}  // namespace

std::int64_t SftpSession::SteadyMilliseconds() {
  return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SftpSession::Awaiting::progressed() { session_.waitingSince_ = SteadyMilliseconds(); }

SftpSession::SftpSession(const std::atomic<bool>& cancel) : cancel_(cancel), idleLimitMs_(kIdleLimitSeconds * 1000) {
  watcher_ = std::thread([this] { watchCancel(); });
}

SftpSession::~SftpSession() {
  disconnect();
  {
    std::lock_guard lock(watchMutex_);
    watchEnd_ = true;
  }
  watchWake_.notify_all();
  watcher_.join();
}

void SftpSession::watchCancel() {
  std::unique_lock lock(watchMutex_);
  while (!watchEnd_) {
    watchWake_.wait_for(lock, milliseconds(50));
    // Cutting the socket makes libssh's own wait return at once; the
    // session is over then, as a cancelled FTP connection is.
    std::int64_t since = waitingSince_;
    bool stalled = since >= 0 && SteadyMilliseconds() - since > idleLimitMs_;
    if ((cancel_ || stalled) && socket_.valid()) {
      if (stalled) timedOut_ = true;
      // Each call clears the flag as it starts, so a cancel pressed between
      // two calls may be gone by the time the next one fails on the cut
      // socket: what cut it is kept for that call's message.
      if (cancel_) cutForCancel_ = true;
      ::shutdown(socket_.get(), SHUT_RDWR);
    }
  }
}

bool SftpSession::sessionAlive() const { return ssh_ && ssh_is_connected(ssh_); }

void SftpSession::fail(const std::string& what) {
  if (cancel_ || cutForCancel_) throw FtpError(FtpError::Kind::Connection, "操作已取消");
  if (timedOut_) throw FtpError(FtpError::Kind::Connection, what + "：服务器长时间没有响应");
  if (!sessionAlive()) throw FtpError(FtpError::Kind::Connection, what + "：服务器关闭了连接");
  throw FtpError(FtpError::Kind::Refused, what + "：" + ssh_get_error(ssh_));
}

void SftpSession::connect(const FtpLogin& login) {
  disconnect();
  timedOut_ = false;
  cutForCancel_ = false;
  SocketFailure failure = SocketFailure::None;
  std::string detail;
  UniqueFd fd = ConnectTcp(login.host, login.port, SocketWaits{&cancel_, kConnectLimit}, failure, detail);
  if (!fd.valid()) throw FtpError(FtpError::Kind::Connection, detail);
  // libssh waits on the socket itself and expects it blocking.
  fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  ssh_ = ssh_new();
  if (!ssh_) throw FtpError(FtpError::Kind::Connection, "无法初始化 SSH");
  int port = login.port;
  long timeout = kIdleLimitSeconds;
  int quiet = SSH_LOG_NOLOG;
  bool no = false;
  socket_t raw = fd.get();
  std::string knownHosts = login.knownHostsFile.empty() ? DefaultKnownHostsFile() : login.knownHostsFile;
  ssh_options_set(ssh_, SSH_OPTIONS_HOST, login.host.c_str());
  ssh_options_set(ssh_, SSH_OPTIONS_PORT, &port);
  ssh_options_set(ssh_, SSH_OPTIONS_USER, login.user.c_str());
  ssh_options_set(ssh_, SSH_OPTIONS_TIMEOUT, &timeout);
  ssh_options_set(ssh_, SSH_OPTIONS_LOG_VERBOSITY, &quiet);
  // Only our own settings and our own known-hosts file decide.
  ssh_options_set(ssh_, SSH_OPTIONS_PROCESS_CONFIG, &no);
  ssh_options_set(ssh_, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
  ssh_options_set(ssh_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, knownHosts.c_str());
  ssh_options_set(ssh_, SSH_OPTIONS_FD, &raw);
  {
    std::lock_guard lock(watchMutex_);
    socket_ = std::move(fd);
  }
  std::string where = login.host + ":" + std::to_string(login.port);
  if (ssh_connect(ssh_) != SSH_OK) {
    std::string why =
        cancel_ || cutForCancel_ ? "操作已取消" : "无法与 " + where + " 建立 SSH 连接：" + ssh_get_error(ssh_);
    disconnect();
    throw FtpError(FtpError::Kind::Connection, why);
  }

  std::string fingerprint = HostKeyFingerprint(ssh_);
  switch (ssh_session_is_known_server(ssh_)) {
    case SSH_KNOWN_HOSTS_OK: break;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:
      disconnect();
      // No way to accept it here: a changed key is what an impostor shows.
      throw FtpError(FtpError::Kind::Untrusted,
                     "警告：服务器 " + where + " 的 SSH 主机密钥与上次记录的不同（现在的指纹：" + fingerprint +
                         "）！可能有人在冒充该服务器，已拒绝连接。如确认服务器更换了密钥，请从 " + knownHosts +
                         " 中删除该服务器的旧记录。");
    default: {
      bool accepted = false;
      for (const auto& candidate : login.acceptedFingerprints)
        accepted = accepted || NormalizeFingerprint(candidate) == fingerprint;
      if (!accepted) {
        disconnect();
        throw FtpError(FtpError::Kind::Untrusted,
                       "首次连接服务器 " + where + "，无法确认其身份。SSH 主机密钥指纹：" + fingerprint, fingerprint);
      }
      if (login.rememberAccepted) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(knownHosts).parent_path(), error);
        ssh_session_update_known_hosts(ssh_);
      }
    }
  }

  int result = SSH_AUTH_ERROR;
  if (!login.keyFile.empty()) {
    ssh_key key = nullptr;
    if (ssh_pki_import_privkey_file(login.keyFile.c_str(), login.password.empty() ? nullptr : login.password.c_str(),
                                    nullptr, nullptr, &key) != SSH_OK) {
      disconnect();
      throw FtpError(FtpError::Kind::Login, "无法读取私钥文件（或口令不对）：" + login.keyFile);
    }
    result = ssh_userauth_publickey(ssh_, nullptr, key);
    ssh_key_free(key);
  } else {
    result = ssh_userauth_password(ssh_, nullptr, login.password.c_str());
  }
  if (result != SSH_AUTH_SUCCESS) {
    std::string why = result == SSH_AUTH_ERROR ? "SSH 登录出错：" + std::string(ssh_get_error(ssh_))
                      : login.keyFile.empty()  ? "服务器拒绝登录，请检查用户名和密码"
                                               : "服务器拒绝了该用户的私钥登录";
    disconnect();
    throw FtpError(result == SSH_AUTH_ERROR ? FtpError::Kind::Connection : FtpError::Kind::Login, why);
  }
  sftp_ = sftp_new(ssh_);
  if (!sftp_ || sftp_init(sftp_) != SSH_OK) {
    std::string why = "服务器不提供 SFTP：" + std::string(ssh_get_error(ssh_));
    disconnect();
    throw FtpError(FtpError::Kind::Connection, why);
  }
  bool openSshServer = ssh_get_openssh_version(ssh_) > 0 && sftp_extension_supported(sftp_, "limits@openssh.com", "1");
  chunkBytes_ = openSshServer ? kOpenSshChunkBytes : kPortableChunkBytes;
}

void SftpSession::disconnect() {
  requests_.reset();
  requestsRefused_ = false;
  if (sftp_) sftp_free(sftp_);
  sftp_ = nullptr;
  if (ssh_) {
    if (ssh_is_connected(ssh_)) ssh_disconnect(ssh_);
    ssh_free(ssh_);
  }
  ssh_ = nullptr;
  std::lock_guard lock(watchMutex_);
  // libssh closes the socket it was handed.
  if (socket_.valid()) socket_.release();
}

std::optional<std::int64_t> SftpSession::size(const std::string& path) {
  Awaiting request(*this);
  sftp_attributes attributes = sftp_stat(sftp_, path.c_str());
  if (!attributes) {
    if (!sessionAlive() || cancel_) fail("SIZE " + path);
    return std::nullopt;
  }
  std::optional<std::int64_t> size;
  if (attributes->type == SSH_FILEXFER_TYPE_REGULAR) size = static_cast<std::int64_t>(attributes->size);
  sftp_attributes_free(attributes);
  return size;
}

bool SftpSession::changeDir(const std::string& path) {
  Awaiting request(*this);
  sftp_attributes attributes = sftp_stat(sftp_, path.c_str());
  if (!attributes) {
    if (!sessionAlive() || cancel_) fail("CWD " + path);
    return false;
  }
  bool directory = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
  sftp_attributes_free(attributes);
  return directory;
}

bool SftpSession::makeDir(const std::string& path) {
  Awaiting request(*this);
  if (sftp_mkdir(sftp_, path.c_str(), 0755) == 0) return true;
  if (!sessionAlive() || cancel_) fail("MKD " + path);
  return false;
}

bool SftpSession::remove(const std::string& path) {
  Awaiting request(*this);
  if (sftp_unlink(sftp_, path.c_str()) == 0) return true;
  if (!sessionAlive() || cancel_) fail("DELE " + path);
  return false;
}

std::vector<ListingEntry> SftpSession::list(const std::string& directory) {
  Awaiting request(*this);
  sftp_dir dir = sftp_opendir(sftp_, directory.c_str());
  if (!dir) fail("LIST " + directory);
  std::vector<ListingEntry> entries;
  while (sftp_attributes attributes = sftp_readdir(sftp_, dir)) {
    std::string name = attributes->name ? attributes->name : "";
    if (name != "." && name != "..") {
      ListingEntry entry{name, LocalWallTime(static_cast<std::time_t>(attributes->mtime)),
                         attributes->type == SSH_FILEXFER_TYPE_DIRECTORY, std::nullopt};
      if (!entry.isDirectory && (attributes->flags & SSH_FILEXFER_ATTR_SIZE))
        entry.size = static_cast<std::int64_t>(attributes->size);
      entries.push_back(std::move(entry));
    }
    sftp_attributes_free(attributes);
    request.progressed();
  }
  bool complete = sftp_dir_eof(dir);
  sftp_closedir(dir);
  if (!complete) fail("LIST " + directory);
  return entries;
}

void SftpSession::store(int localFd, std::int64_t total, const std::string& path, const WorkEvents& events,
                        bool& reachedServer) {
  reachedServer = false;
  if (events.begin) events.begin(total);
  Awaiting request(*this);
  sftp_file file = sftp_open(sftp_, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!file) fail("STOR " + path);
  reachedServer = true;
  // A small file needs no buffer of a whole request: filling 255 KiB for
  // each of thousands of small files costs more than their bytes.
  std::vector<char> buffer(
      static_cast<size_t>(std::clamp<std::int64_t>(total, 4096, static_cast<std::int64_t>(chunkBytes_))));
  std::int64_t count = 0;
  for (;;) {
    ssize_t got = ::read(localFd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      sftp_close(file);
      throw FtpError(FtpError::Kind::Refused, "读取本地文件时出错");
    }
    if (got == 0) break;
    if (cancel_ || sftp_write(file, buffer.data(), static_cast<size_t>(got)) != got) {
      sftp_close(file);
      fail("STOR " + path);
    }
    count += got;
    // The host's progress handler may take its time: that is no silence
    // of the server's.
    waitingSince_ = -1;
    if (events.progress) events.progress(count);
    request.progressed();
  }
  // The close is where a server reports a write it could not finish.
  if (sftp_close(file) != SSH_NO_ERROR) fail("STOR " + path);
}

bool SftpSession::storeBatch(const std::vector<BatchUpload>& files, const WorkEvents& events,
                             const BatchHooks& hooks, bool& headReachedServer) {
  if (requestsRefused_ || !sftp_) return false;
  if (!requests_) {
    Awaiting request(*this);
    try {
      requests_ = SftpRequestChannel::open(ssh_);
    } catch (const std::runtime_error&) {
      requests_.reset();
    }
    if (!requests_) {
      if (!sessionAlive() || cancel_) fail("SFTP");
      // Servers may allow one channel per connection: store one by one.
      requestsRefused_ = true;
      return false;
    }
  }
  try {
    SftpUploadBatch(*this, *requests_, files, events, hooks, headReachedServer).run();
  } catch (...) {
    // Whatever was under way on the channel is lost with it.
    requests_.reset();
    throw;
  }
  return true;
}

bool SftpSession::rename(const std::string& from, const std::string& to) {
  renameRemovedTarget_ = false;
  std::optional<Awaiting> request(std::in_place, *this);
  if (sftp_rename(sftp_, from.c_str(), to.c_str()) == 0) return true;
  if (!sessionAlive() || cancel_) fail("RENAME " + from);
  // The common SFTP rename refuses to replace a file: remove the old copy
  // first, which leaves a short moment without one.
  request.reset();  // size() and remove() watch their own requests
  if (!size(to)) return false;
  if (!remove(to)) return false;
  renameRemovedTarget_ = true;
  request.emplace(*this);
  if (sftp_rename(sftp_, from.c_str(), to.c_str()) == 0) return true;
  if (!sessionAlive() || cancel_) fail("RENAME " + from);
  return false;
}

}  // namespace kestrova::sync
