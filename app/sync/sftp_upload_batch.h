// One batch of uploads on the SFTP request channel: up to a window of files
// under way at once, each opened at its temporary name, written (several
// writes of a large file in flight), closed, and renamed over its published
// name once the server has confirmed every write and the close of it and of
// every file before it. The caller hears of the files in the batch's order.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "ftp_client.h"
#include "ftp_socket.h"
#include "sftp_request_channel.h"

namespace kestrova::sync {

class SftpSession;

class SftpUploadBatch {
 public:
  // headReachedServer: whether the file last started has been opened on the
  // server (so may have left a partial copy there).
  SftpUploadBatch(SftpSession& session, SftpRequestChannel& channel, const std::vector<BatchUpload>& files,
                  const WorkEvents& events, const BatchHooks& hooks, bool& headReachedServer);
  // Throws FtpError when the connection fails or is cancelled.
  void run();

 private:
  struct File {
    size_t index = 0;
    UniqueFd local;
    std::int64_t total = 0;
    std::string handle;
    std::int64_t sent = 0;   // bytes handed to write requests
    std::int64_t acked = 0;  // bytes the server confirmed
    int pending = 0;         // requests without an answer yet
    bool opened = false, readAll = false, closeSent = false, closed = false;
    bool renameSent = false, renamed = false, renameRetried = false, removedTarget = false;
    bool failed = false, renameRefused = false, cleanedUp = false;
    FtpError::Kind kind = FtpError::Kind::Refused;
    std::string error;
    bool resolved() const { return pending == 0 && (renamed || failed || renameRefused); }
  };
  enum class RequestKind { Open, Write, Close, Rename, RemoveTarget, Cleanup };
  struct Request {
    size_t index;
    RequestKind kind;
    std::int64_t length;
  };

  void admit(size_t index);
  void pumpWrites();
  void sendRenames();
  void cleanUpAbandoned();
  // Starts and reports the files at the front, as far as they have ended.
  void reportFinished();
  void handle(const SftpRequestChannel::Reply& reply);
  void track(std::uint32_t id, const File& file, RequestKind kind, std::int64_t length = 0);
  void fail(File& file, FtpError::Kind kind, const std::string& error);
  File* find(size_t index);
  bool abandoned(const File& file) const { return file.index >= cutoff_; }
  // Calls into the host, which may take its time: no silence of the server's.
  template <typename Call>
  auto callHost(Call call);
  [[noreturn]] void connectionFailed();

  SftpSession& session_;
  SftpRequestChannel& channel_;
  const std::vector<BatchUpload>& files_;
  const WorkEvents& events_;
  const BatchHooks& hooks_;
  bool& headReachedServer_;
  std::deque<File> window_;
  std::unordered_map<std::uint32_t, Request> requests_;
  size_t next_ = 0;
  // Files from this index on are given up: never renamed, their temporary
  // copies deleted.
  size_t cutoff_ = SIZE_MAX;
  // The highest index whose rename has gone out (+1; 0: none).
  size_t renamedUpTo_ = 0;
  std::int64_t bytesInFlight_ = 0;
  bool headStarted_ = false;
};

}  // namespace kestrova::sync
