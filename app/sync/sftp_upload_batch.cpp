#include "sftp_upload_batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "sftp_session.h"

namespace kestrova::sync {
namespace {

// Enough files under way to hide the round trips of small files. The bytes
// in flight stay well inside the channel window OpenSSH grants (2 MiB):
// writes that fill it wait for the server's window messages, which made a
// large file slower than three writes under way at a time did.
constexpr size_t kFilesInFlight = 32;
constexpr std::int64_t kBytesInFlight = 768 * 1024;
constexpr size_t kSendAtBytes = 256 * 1024;
constexpr std::uint32_t kStatusOk = 0;

std::string StatusText(const SftpRequestChannel::Reply& reply) {
  if (!reply.text.empty()) return reply.text;
  switch (reply.status) {
    case 2: return "文件不存在";
    case 3: return "没有权限";
    default: return "服务器返回错误 " + std::to_string(reply.status);
  }
}

}  // namespace

SftpUploadBatch::SftpUploadBatch(SftpSession& session, SftpRequestChannel& channel,
                                 const std::vector<BatchUpload>& files, const WorkEvents& events,
                                 const BatchHooks& hooks, bool& headReachedServer)
    : session_(session),
      channel_(channel),
      files_(files),
      events_(events),
      hooks_(hooks),
      headReachedServer_(headReachedServer) {}

template <typename Call>
auto SftpUploadBatch::callHost(Call call) {
  struct Resume {
    SftpSession& session;
    ~Resume() { session.waitingSince_ = SftpSession::SteadyMilliseconds(); }
  } resume{session_};
  session_.waitingSince_ = -1;
  return call();
}

void SftpUploadBatch::connectionFailed() {
  const File* head = window_.empty() ? nullptr : &window_.front();
  session_.fail("STOR " + (head ? files_[head->index].temporaryPath : files_.front().temporaryPath));
}

SftpUploadBatch::File* SftpUploadBatch::find(size_t index) {
  if (window_.empty() || index < window_.front().index) return nullptr;
  size_t at = index - window_.front().index;
  return at < window_.size() ? &window_[at] : nullptr;
}

void SftpUploadBatch::track(std::uint32_t id, const File& file, RequestKind kind, std::int64_t length) {
  requests_.emplace(id, Request{file.index, kind, length});
  ++find(file.index)->pending;
}

void SftpUploadBatch::fail(File& file, FtpError::Kind kind, const std::string& error) {
  if (file.failed) return;
  file.failed = true;
  file.kind = kind;
  file.error = error;
  // Nothing after a failed file is published (the run ends with it), but
  // for a rename that has gone out already.
  cutoff_ = std::min(cutoff_, std::max(file.index + 1, renamedUpTo_));
  if (file.opened && !file.closeSent) {
    file.closeSent = true;
    track(channel_.close(file.handle), file, RequestKind::Close);
  }
}

void SftpUploadBatch::admit(size_t index) {
  window_.emplace_back();
  File& file = window_.back();
  file.index = index;
  const BatchUpload& upload = files_[index];
  // Read-only; other programs may keep the file open (or write it) meanwhile.
  file.local = UniqueFd(::open(upload.localPath.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!file.local.valid() || ::fstat(file.local.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    fail(file, FtpError::Kind::Refused, "无法读取本地文件：" + upload.localPath);
    return;
  }
  file.total = info.st_size;
  track(channel_.openForWriting(upload.temporaryPath), file, RequestKind::Open);
}

void SftpUploadBatch::pumpWrites() {
  for (File& file : window_) {
    while (file.opened && !file.failed && !file.readAll && !abandoned(file) && bytesInFlight_ < kBytesInFlight) {
      // A small file needs no buffer of a whole request.
      auto length = static_cast<size_t>(
          std::clamp<std::int64_t>(file.total - file.sent, 4096, static_cast<std::int64_t>(session_.chunkBytes_)));
      std::uint32_t id = 0;
      long got = channel_.write(
          file.handle, static_cast<std::uint64_t>(file.sent), length,
          [&](char* to, size_t room) {
            for (;;) {
              ssize_t read = ::read(file.local.get(), to, room);
              if (read >= 0 || errno != EINTR) return static_cast<long>(read);
            }
          },
          id);
      if (got == 0) {
        file.readAll = true;
        file.closeSent = true;
        track(channel_.close(file.handle), file, RequestKind::Close);
        break;
      }
      if (got < 0) {
        // Closing now would leave a cut-off file as a whole one: it fails.
        fail(file, FtpError::Kind::Refused, "读取本地文件时出错");
        break;
      }
      track(id, file, RequestKind::Write, got);
      file.sent += got;
      bytesInFlight_ += got;
      if (channel_.queuedBytes() >= kSendAtBytes && !channel_.flush()) connectionFailed();
    }
  }
}

void SftpUploadBatch::sendRenames() {
  for (File& file : window_) {
    if (abandoned(file) || file.failed || !file.closed) break;
    if (file.renameSent) continue;
    file.renameSent = true;
    renamedUpTo_ = std::max(renamedUpTo_, file.index + 1);
    const BatchUpload& upload = files_[file.index];
    track(channel_.rename(upload.temporaryPath, upload.path), file, RequestKind::Rename);
  }
}

void SftpUploadBatch::cleanUpAbandoned() {
  for (File& file : window_) {
    if (!abandoned(file) || file.cleanedUp || (!file.opened && file.pending > 0)) continue;
    file.cleanedUp = true;
    if (!file.opened) continue;  // never opened on the server: nothing there
    if (!file.closeSent) {
      file.closeSent = true;
      track(channel_.close(file.handle), file, RequestKind::Cleanup);
    }
    track(channel_.remove(files_[file.index].temporaryPath), file, RequestKind::Cleanup);
  }
}

void SftpUploadBatch::reportFinished() {
  while (!window_.empty()) {
    File& head = window_.front();
    if (abandoned(head)) {
      if (!head.cleanedUp || head.pending > 0) return;
      window_.pop_front();
      continue;
    }
    if (!headStarted_) {
      headStarted_ = true;
      headReachedServer_ = head.opened;
      callHost([&] {
        if (hooks_.started) hooks_.started(head.index);
        if (events_.begin) events_.begin(head.total);
        if (head.acked > 0 && events_.progress) events_.progress(head.acked);
      });
    }
    if (!head.resolved()) return;
    BatchOutcome outcome;
    if (head.renamed) {
      outcome.removedTarget = head.removedTarget;
      callHost([&] {
        if (events_.end) events_.end();
      });
    } else if (head.failed) {
      outcome.result = BatchOutcome::Result::Failed;
      outcome.kind = head.kind;
      outcome.error = head.error;
    } else {
      outcome.result = BatchOutcome::Result::RenameRefused;
    }
    size_t index = head.index;
    window_.pop_front();
    headStarted_ = false;
    bool goOn = callHost([&] { return hooks_.finished ? hooks_.finished(index, outcome) : true; });
    // Files whose rename has gone out are published whatever happens now;
    // the rest are given up.
    if (!goOn || outcome.result != BatchOutcome::Result::Stored)
      cutoff_ = std::min(cutoff_, std::max(index + 1, renamedUpTo_));
  }
}

void SftpUploadBatch::handle(const SftpRequestChannel::Reply& reply) {
  auto found = requests_.find(reply.id);
  if (found == requests_.end()) throw std::runtime_error("SFTP 服务器回答了没有发出的请求");
  Request request = found->second;
  requests_.erase(found);
  File* file = find(request.index);
  if (!file) throw std::runtime_error("SFTP 服务器的回答无法识别");
  --file->pending;
  bool ok = reply.type == SftpRequestChannel::kStatus && reply.status == kStatusOk;
  const BatchUpload& upload = files_[file->index];
  std::string what = "STOR " + upload.temporaryPath + "：";
  switch (request.kind) {
    case RequestKind::Open:
      if (reply.type == SftpRequestChannel::kHandle) {
        file->opened = true;
        file->handle = reply.text;
        if (headStarted_ && file == &window_.front()) headReachedServer_ = true;
      } else {
        fail(*file, FtpError::Kind::Refused, what + StatusText(reply));
      }
      break;
    case RequestKind::Write:
      bytesInFlight_ -= request.length;
      if (!ok) {
        fail(*file, FtpError::Kind::Refused, what + StatusText(reply));
        break;
      }
      file->acked += request.length;
      if (headStarted_ && file == &window_.front() && events_.progress) {
        std::int64_t acked = file->acked;
        callHost([&] { events_.progress(acked); });
      }
      break;
    case RequestKind::Close:
      // The close is where a server reports a write it could not finish.
      if (ok) file->closed = !file->failed;
      else fail(*file, FtpError::Kind::Refused, what + StatusText(reply));
      break;
    case RequestKind::RemoveTarget:
      file->removedTarget = ok;
      break;
    case RequestKind::Rename:
      if (ok) {
        file->renamed = true;
      } else if (!file->renameRetried && !channel_.overwritingRename()) {
        // The common SFTP rename refuses to replace a file: remove the old
        // copy first, which leaves a short moment without one.
        file->renameRetried = true;
        track(channel_.remove(upload.path), *file, RequestKind::RemoveTarget);
        track(channel_.rename(upload.temporaryPath, upload.path), *file, RequestKind::Rename);
      } else {
        file->renameRefused = true;
      }
      break;
    case RequestKind::Cleanup: break;
  }
}

void SftpUploadBatch::run() {
  SftpSession::Awaiting waiting(session_);
  int roundsWithoutRequests = 0;
  try {
    for (;;) {
      if (session_.cancel_) connectionFailed();
      while (cutoff_ == SIZE_MAX && next_ < files_.size() && window_.size() < kFilesInFlight) admit(next_++);
      pumpWrites();
      sendRenames();
      reportFinished();
      cleanUpAbandoned();
      if (window_.empty() && (next_ >= files_.size() || cutoff_ != SIZE_MAX)) break;
      if (!channel_.flush()) connectionFailed();
      if (requests_.empty()) {
        // The report above made room or gave files up: go round once more.
        // Nothing under way twice running would wait for ever.
        if (++roundsWithoutRequests > 2) throw std::runtime_error("上传批次停滞（内部错误）");
        continue;
      }
      roundsWithoutRequests = 0;
      SftpRequestChannel::Reply reply;
      if (!channel_.next(reply, true)) connectionFailed();
      waiting.progressed();
      handle(reply);
      while (channel_.next(reply, false)) handle(reply);
    }
  } catch (const FtpError&) {
    throw;
  } catch (const std::runtime_error& error) {
    throw FtpError(FtpError::Kind::Connection, error.what());
  }
}

}  // namespace kestrova::sync
