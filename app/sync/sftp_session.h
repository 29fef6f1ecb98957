// The site over SFTP (libssh): what FtpClient does for FTP, on one SSH
// session with one SFTP channel. SFTP has no current directory, so entering
// a folder only checks that it is there; every other call names whole paths.
//
// libssh waits inside its own calls; a watcher thread cuts the socket when
// the cancel flag is set, so those waits end within a tenth of a second as
// the FTP ones do, and when a request has gone unanswered for the idle
// limit, so a server that stops answering ends the wait as on FTP (libssh's
// own timeout covers the connection's set-up only).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ftp_listing.h"
#include "ftp_socket.h"

typedef struct ssh_session_struct* ssh_session;
typedef struct sftp_session_struct* sftp_session;

namespace kestrova::sync {

struct FtpLogin;
struct WorkEvents;
struct BatchUpload;
struct BatchHooks;
class SftpRequestChannel;

class SftpSession {
 public:
  explicit SftpSession(const std::atomic<bool>& cancel);
  ~SftpSession();
  SftpSession(const SftpSession&) = delete;
  SftpSession& operator=(const SftpSession&) = delete;

  // Throws FtpError as FtpClient::connect does.
  void connect(const FtpLogin& login);
  void disconnect();

  std::optional<std::int64_t> size(const std::string& path);
  bool changeDir(const std::string& path);
  bool makeDir(const std::string& path);
  bool remove(const std::string& path);
  std::vector<ListingEntry> list(const std::string& directory);
  // Writes the open local file to path. reachedServer turns true once the
  // server has opened path for writing.
  void store(int localFd, std::int64_t total, const std::string& path, const WorkEvents& events,
             bool& reachedServer);
  // Renames from over to. SFTP's own rename will not replace a file on most
  // servers; then to is removed first (renameRemovedTarget() tells).
  bool rename(const std::string& from, const std::string& to);
  bool renameRemovedTarget() const { return renameRemovedTarget_; }
  // Stores and renames many files at once on a second SFTP channel (see
  // FtpClient::storeBatch). False, with nothing done, when the server will
  // not open that channel; then every later call says so at once too.
  bool storeBatch(const std::vector<BatchUpload>& files, const WorkEvents& events, const BatchHooks& hooks,
                  bool& headReachedServer);
  // How long a request may go unanswered before the session is given up.
  void setIdleLimit(std::chrono::milliseconds limit) { idleLimitMs_ = limit.count(); }

 private:
  // A request to the server under way, for the watcher; progressed() when
  // part of a longer exchange (a listing, a file) has been answered.
  class Awaiting {
   public:
    explicit Awaiting(SftpSession& session) : session_(session) { progressed(); }
    ~Awaiting() { session_.waitingSince_ = -1; }
    Awaiting(const Awaiting&) = delete;
    Awaiting& operator=(const Awaiting&) = delete;
    void progressed();

   private:
    SftpSession& session_;
  };

  friend class SftpUploadBatch;
  static std::int64_t SteadyMilliseconds();
  // Throws FtpError(Connection) when the session is gone, else (Refused) with what.
  [[noreturn]] void fail(const std::string& what);
  bool sessionAlive() const;
  void watchCancel();

  const std::atomic<bool>& cancel_;
  UniqueFd socket_;
  ssh_session ssh_ = nullptr;
  sftp_session sftp_ = nullptr;
  std::unique_ptr<SftpRequestChannel> requests_;  // batches' channel, opened on first use
  bool requestsRefused_ = false;
  bool renameRemovedTarget_ = false;
  size_t chunkBytes_ = 32 * 1024;  // bytes per write request, set by connect()

  std::atomic<std::int64_t> waitingSince_{-1};  // steady clock, ms; -1: no request under way
  std::atomic<std::int64_t> idleLimitMs_;
  std::atomic<bool> timedOut_{false};
  std::atomic<bool> cutForCancel_{false};  // the watcher cut the socket for a cancel

  std::mutex watchMutex_;
  std::condition_variable watchWake_;
  bool watchEnd_ = false;
  std::thread watcher_;
};

}  // namespace kestrova::sync
