#include "ftp_client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

#include "sftp_session.h"
#include "trust_store.h"

namespace kestrova::sync {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kConnectLimit{30000};
// The longest a server may stay silent in the middle of a command or a
// transfer before we give the connection up.
// QUIT and ABOR on the way out are courtesies: never wait long for them.
constexpr milliseconds kFarewellLimit{2000};
constexpr size_t kChunkBytes = 64 * 1024;

// A line break inside a name would end our command early and let the rest of
// the name run as a command of its own.
void RefuseLineBreaks(const std::string& text) {
  if (text.find_first_of("\r\n") != std::string::npos)
    throw FtpError(FtpError::Kind::Refused, "路径中含有换行符，无法发送给服务器：" + text);
}

std::string FailureText(SocketFailure failure) {
  switch (failure) {
    case SocketFailure::Cancelled: return "操作已取消";
    case SocketFailure::TimedOut: return "服务器长时间没有响应";
    case SocketFailure::Closed: return "服务器关闭了连接";
    default: return "网络连接出错";
  }
}

bool StartsWithCode(const std::string& line) {
  return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]));
}

// A listing names a directory without its trailing separator, except the root.
std::string DirectoryArgument(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

std::string ParentFolder(const std::string& path) {
  std::string folder = DirectoryArgument(path);
  size_t slash = folder.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : folder.substr(0, slash);
}

}  // namespace

FtpClient::FtpClient() = default;

FtpClient::~FtpClient() { disconnect(); }

void FtpClient::dropConnection() {
  control_.reset();
  sftp_.reset();
  received_.clear();
  madeEmpty_.clear();
  connected_ = false;
  dataPortAccepted_ = false;
  type_ = 0;
}

void FtpClient::connectionLost(SocketFailure failure) {
  dropConnection();
  throw FtpError(FtpError::Kind::Connection, FailureText(failure));
}

void FtpClient::requireConnection(const std::string& what) {
  if (!control_.valid() && !sftp_) throw FtpError(FtpError::Kind::Connection, what + "：未连接服务器");
}

void FtpClient::sendLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    RefuseLineBreaks(line);
    sent_.push_back(line.rfind("PASS ", 0) == 0 ? "PASS ****" : line);
    text += line;
    text += "\r\n";
  }
  SocketFailure failure = control_.send(text, SocketWaits{&cancel_, idleLimit_});
  if (failure != SocketFailure::None) connectionLost(failure);
}

FtpClient::Reply FtpClient::readReply(milliseconds idleLimit) {
  SocketWaits waits{&cancel_, idleLimit.count() > 0 ? idleLimit : idleLimit_};
  std::string multiLineCode;  // set while inside a "123-" reply
  for (;;) {
    size_t end = received_.find('\n');
    if (end == std::string::npos) {
      char buffer[4096];
      SocketFailure failure = SocketFailure::None;
      long got = control_.receive(buffer, sizeof buffer, waits, failure);
      if (got <= 0) connectionLost(got == 0 ? SocketFailure::Closed : failure);
      received_.append(buffer, static_cast<size_t>(got));
      continue;
    }
    std::string line = received_.substr(0, end);
    received_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!StartsWithCode(line)) continue;  // the middle of a multi-line reply
    bool last = line.size() == 3 || line[3] == ' ';
    if (multiLineCode.empty() && line.size() > 3 && line[3] == '-') {
      multiLineCode = line.substr(0, 3);
      continue;
    }
    if (!last || (!multiLineCode.empty() && line.compare(0, 3, multiLineCode) != 0)) continue;
    Reply reply{std::stoi(line.substr(0, 3)), line};
    // 421: the server is closing the control connection.
    if (reply.code == 421) {
      dropConnection();
      throw FtpError(FtpError::Kind::Connection, reply.text);
    }
    return reply;
  }
}

FtpClient::Reply FtpClient::command(const std::string& line) {
  sendLines({line});
  return readReply();
}

std::vector<FtpClient::Reply> FtpClient::pipeline(const std::vector<std::string>& lines) {
  sendLines(lines);
  std::vector<Reply> replies;
  for (size_t i = 0; i < lines.size(); ++i) replies.push_back(readReply());
  return replies;
}

void FtpClient::setType(char type) {
  if (type_ == type) return;
  Reply reply = command(std::string("TYPE ") + type);
  if (!accepted(reply)) throw FtpError(FtpError::Kind::Refused, std::string("TYPE ") + type + "：" + reply.text);
  type_ = type;
}

void FtpClient::startTls(Stream& stream, SSL_SESSION* reuse) {
  stream.tls = std::make_unique<TlsLink>();
  std::string detail;
  SocketFailure failure =
      stream.tls->handshake(*tls_, stream.fd.get(), login_.host, reuse, SocketWaits{&cancel_, kConnectLimit}, detail);
  if (failure != SocketFailure::None) {
    dropConnection();
    throw FtpError(FtpError::Kind::Connection, detail.empty() ? FailureText(failure) : detail);
  }
  if (reuse) return;  // the data connection resumes the control connection's checked session
  std::string problem = stream.tls->verificationProblem(*tls_);
  if (problem.empty()) return;
  std::string fingerprint = stream.tls->peerFingerprint();
  for (const auto& accepted : login_.acceptedFingerprints) {
    if (NormalizeFingerprint(accepted) != fingerprint) continue;
    if (login_.rememberAccepted && !login_.certificateExceptionsFile.empty())
      AddCertificateException(login_.certificateExceptionsFile, login_.host, login_.port, fingerprint);
    return;
  }
  if (!login_.certificateExceptionsFile.empty() &&
      HasCertificateException(login_.certificateExceptionsFile, login_.host, login_.port, fingerprint))
    return;
  dropConnection();
  throw FtpError(FtpError::Kind::Untrusted,
                 "服务器 " + login_.host + ":" + std::to_string(login_.port) + " 的证书未通过验证：" + problem +
                     "。证书指纹：" + fingerprint,
                 fingerprint);
}

void FtpClient::connect(const FtpLogin& login) {
  disconnect();
  cancel_ = false;
  login_ = login;
  protocol_ = login.protocol;
  if (protocol_ == SiteProtocol::Sftp) {
    sftp_ = std::make_unique<SftpSession>(cancel_);
    sftp_->setIdleLimit(idleLimit_);
    try {
      sftp_->connect(login);
    } catch (...) {
      sftp_.reset();
      throw;
    }
    connected_ = true;
    return;
  }
  if (UsesTls(protocol_) && (!tls_ || tls_->caFile() != login.caFile)) {
    try {
      tls_ = std::make_unique<TlsContext>(login.caFile);
    } catch (const std::exception& error) {
      throw FtpError(FtpError::Kind::Connection, error.what());
    }
  }
  SocketFailure failure = SocketFailure::None;
  std::string detail;
  control_.fd = ConnectTcp(login.host, login.port, SocketWaits{&cancel_, kConnectLimit}, failure, detail);
  if (!control_.valid()) throw FtpError(FtpError::Kind::Connection, detail);
  auto refuse = [this](const Reply& reply, FtpError::Kind kind = FtpError::Kind::Connection) {
    dropConnection();
    throw FtpError(kind, kind == FtpError::Kind::Login ? "服务器拒绝登录，请检查用户名和密码：" + reply.text
                                                       : reply.text);
  };
  if (protocol_ == SiteProtocol::FtpsImplicit) startTls(control_, nullptr);
  Reply greeting = readReply();
  while (greeting.code == 120) greeting = readReply();  // "ready in a few minutes"
  if (greeting.code != 220) refuse(greeting);
  if (protocol_ == SiteProtocol::Ftps) {
    Reply auth = command("AUTH TLS");
    if (auth.code != 234) {
      dropConnection();
      throw FtpError(FtpError::Kind::Connection, "服务器不支持 FTPS（AUTH TLS 被拒绝：" + auth.text + "）");
    }
    startTls(control_, nullptr);
  }
  Reply user = command("USER " + login.user);
  if (user.code == 331) {
    Reply password = command("PASS " + login.password);
    if (password.code != 230 && password.code != 202)
      refuse(password, password.code == 530 ? FtpError::Kind::Login : FtpError::Kind::Connection);
  } else if (user.code != 230) {
    refuse(user, user.code == 530 ? FtpError::Kind::Login : FtpError::Kind::Connection);
  }
  if (UsesTls(protocol_)) {
    // Data connections under TLS too; a server that will not is no FTPS server.
    std::vector<Reply> replies = pipeline({"PBSZ 0", "PROT P"});
    if (!accepted(replies[1])) {
      dropConnection();
      throw FtpError(FtpError::Kind::Connection, "服务器拒绝加密数据连接：" + replies[1].text);
    }
  }
  type_ = 0;
  setType('I');
  command("SYST");  // asked for the log only
  connected_ = true;
}

void FtpClient::disconnect() {
  if (sftp_) sftp_->disconnect();
  if (control_.valid()) {
    try {
      sendLines({"QUIT"});
      readReply(kFarewellLimit);
    } catch (const FtpError&) {
      // Gone already: nothing to say goodbye to.
    }
  }
  dropConnection();
}

void FtpClient::abortAndQuit() {
  if (control_.valid()) {
    try {
      sendLines({"ABOR"});
      readReply(kFarewellLimit);
    } catch (const FtpError&) {
    }
  }
  disconnect();
}

std::optional<std::int64_t> FtpClient::size(const std::string& path) {
  cancel_ = false;
  requireConnection("SIZE " + path);
  if (sftp_) return sftp_->size(path);
  // Servers refuse SIZE in ASCII mode, and a listing may have left us there.
  setType('I');
  Reply reply = command("SIZE " + path);
  // A refused SIZE is an answer ("no copy").
  if (reply.code != 213) return std::nullopt;
  try {
    return std::stoll(reply.text.substr(4));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool FtpClient::changeDir(const std::string& path) {
  cancel_ = false;
  requireConnection("CWD " + path);
  if (sftp_) return sftp_->changeDir(path);
  return accepted(command("CWD " + path));
}

bool FtpClient::makeDir(const std::string& path) {
  cancel_ = false;
  requireConnection("MKD " + path);
  bool made = sftp_ ? sftp_->makeDir(path) : accepted(command("MKD " + path));
  if (made) {
    madeEmpty_.erase(ParentFolder(path));
    madeEmpty_.insert(DirectoryArgument(path));
  }
  return made;
}

bool FtpClient::remove(const std::string& path) {
  cancel_ = false;
  requireConnection("DELE " + path);
  if (sftp_) return sftp_->remove(path);
  return accepted(command("DELE " + path));
}

FtpClient::TransferReplies FtpClient::transfer(const std::string& line,
                                               const std::function<SocketFailure(Stream& data)>& body) {
  DataListener listener(control_.fd.get());
  if (!listener.valid()) throw FtpError(FtpError::Kind::Refused, line + "：无法打开数据连接的端口");
  TransferReplies replies;
  Reply port;
  if (dataPortAccepted_) {
    // The server has taken our data port before: ask for it and start the
    // transfer in one go, a round trip less per file.
    sendLines({listener.command(), line});
    // Some servers answer the port only once they have connected to it,
    // after they have answered the command itself. The codes tell the two
    // replies apart: a port is accepted with 200, which never answers a
    // transfer's command, and is never answered with a preliminary reply.
    Reply first = readReply();
    Reply second = readReply();
    bool portFirst = first.code == 200 || (first.code >= 200 && second.code != 200);
    port = portFirst ? first : second;
    replies.start = portFirst ? second : first;
  } else {
    // The first transfer asks for the port alone, so a server that will not
    // connect to us never starts a command it cannot carry out.
    port = command(listener.command());
  }
  if (!accepted(port)) {
    // A server that took the command although the port failed now waits for
    // a data connection that will not come: its later replies cannot be
    // matched to our commands any more.
    if (replies.start.code > 0 && replies.start.code < 400) dropConnection();
    throw FtpError(FtpError::Kind::Refused, line + "：" + port.text);
  }
  dataPortAccepted_ = true;
  if (replies.start.code == 0) {
    sendLines({line});
    replies.start = readReply();
  }
  if (replies.start.code >= 400) {
    replies.done = replies.start;
    return replies;
  }
  Stream data;
  SocketFailure failure = SocketFailure::None;
  if (replies.start.code < 200) {
    data.fd = listener.accept(SocketWaits{&cancel_, kConnectLimit}, failure);
    if (failure == SocketFailure::Cancelled) connectionLost(failure);
  } else {
    data.fd = listener.acceptIfWaiting();  // a server that answered at once may still have connected
  }
  if (data.valid() && control_.tls) {
    data.tls = std::make_unique<TlsLink>();
    std::string detail;
    failure = data.tls->handshake(*tls_, data.fd.get(), login_.host, control_.tls->session(),
                                  SocketWaits{&cancel_, kConnectLimit}, detail);
    if (failure == SocketFailure::None && data.tls->peerFingerprint() != control_.tls->peerFingerprint() &&
        !data.tls->verificationProblem(*tls_).empty())
      failure = SocketFailure::Error;  // not the server the control connection trusts
    if (failure != SocketFailure::None) data.fd.reset();
  }
  if (failure == SocketFailure::Cancelled) connectionLost(failure);
  if (data.valid()) failure = body(data);
  // For an upload, the end of the file: under TLS a close_notify first, so
  // the server can tell the end from a cut.
  if (data.tls && failure == SocketFailure::None) {
    SocketWaits waits{&cancel_, idleLimit_};
    data.tls->close(data.fd.get(), waits);
    // The server's unread session tickets would turn our close into a reset
    // that can cut off the file's tail: wait for the server to close first.
    if (FinishSending(data.fd.get(), waits) == SocketFailure::Cancelled) failure = SocketFailure::Cancelled;
  }
  data.reset();
  if (failure == SocketFailure::Cancelled) connectionLost(failure);
  replies.done = replies.start.code < 200 ? readReply() : replies.start;
  // A transfer that broke on our side is no success whatever the server says.
  if (replies.done.code < 400 && failure != SocketFailure::None)
    replies.done = Reply{426, "426 " + FailureText(failure)};
  return replies;
}

std::string FtpClient::list(const std::string& directory) {
  cancel_ = false;
  if (events_.begin) events_.begin(0);
  requireConnection("LIST " + directory);
  if (sftp_) throw FtpError(FtpError::Kind::Refused, "LIST " + directory + "：SFTP 没有文本列表");
  setType('A');
  std::string listing;
  TransferReplies replies = transfer("LIST " + DirectoryArgument(directory), [&](Stream& data) {
    SocketWaits waits{&cancel_, idleLimit_};
    std::vector<char> buffer(kChunkBytes);
    for (;;) {
      SocketFailure failure = SocketFailure::None;
      long got = data.receive(buffer.data(), buffer.size(), waits, failure);
      if (got == 0) return SocketFailure::None;
      if (got < 0) return failure;
      listing.append(buffer.data(), static_cast<size_t>(got));
      if (events_.progress) events_.progress(static_cast<std::int64_t>(listing.size()));
    }
  });
  if (replies.done.code >= 400)
    throw FtpError(FtpError::Kind::Refused, "LIST " + directory + "：" + replies.done.text);
  if (events_.end) events_.end();
  return listing;
}

void FtpClient::store(const std::string& localPath, const std::string& path,
                      const std::vector<std::string>& afterwards) {
  cancel_ = false;
  storeReachedServer_ = false;
  afterwardsReplies_.clear();
  // Read-only; other programs may keep the file open (or write it) meanwhile.
  UniqueFd file(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
    throw FtpError(FtpError::Kind::Refused, "无法读取本地文件：" + localPath);
  requireConnection("STOR " + path);
  // From here on the folders may hold a (partial) file.
  madeEmpty_.erase(ParentFolder(path));
  for (const auto& line : afterwards)
    if (line.rfind("RNTO ", 0) == 0) madeEmpty_.erase(ParentFolder(line.substr(5)));
  std::int64_t total = info.st_size;
  if (sftp_) {
    sftp_->store(file.get(), total, path, events_, storeReachedServer_);
    if (afterwards.size() == 2 && afterwards[0].rfind("RNFR ", 0) == 0)
      sftpRenamed_ = sftp_->rename(afterwards[0].substr(5), afterwards[1].substr(5));
    if (events_.end) events_.end();
    return;
  }
  if (events_.begin) events_.begin(total);
  setType('I');
  bool localReadFailed = false;
  TransferReplies replies = transfer("STOR " + path, [&](Stream& data) {
    SocketWaits waits{&cancel_, idleLimit_};
    std::vector<char> buffer(kChunkBytes);
    std::int64_t count = 0;
    // The file goes through our buffer, and at most one chunk waits unsent
    // in our queue: the server then copies data written moments ago, still
    // warm in the processor's caches. Sent from the kernel's cache instead
    // (sendfile), a server on this machine spent about half again as much
    // time per file copying pages no processor had touched lately; towards a
    // server elsewhere, one copy per chunk on our side is nothing beside the
    // network.
    LimitUnsentBytes(data.fd.get(), static_cast<int>(kChunkBytes));
    for (;;) {
      if (cancel_) return SocketFailure::Cancelled;
      ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
      if (got == 0) return SocketFailure::None;
      if (got < 0) {
        if (errno == EINTR) continue;
        // Closing the data connection now would store a cut-off file as a
        // whole one: report the transfer as broken instead.
        localReadFailed = true;
        return SocketFailure::Error;
      }
      SocketFailure failure = data.send(std::string_view(buffer.data(), static_cast<size_t>(got)), waits);
      if (failure != SocketFailure::None) return failure;
      count += got;
      if (events_.progress) events_.progress(count);
    }
  });
  // A STOR refused outright wrote nothing; one that was accepted may have
  // left part of the file before it failed.
  storeReachedServer_ = replies.start.code > 0 && replies.start.code < 400;
  if (localReadFailed) throw FtpError(FtpError::Kind::Refused, "读取本地文件时出错：" + localPath);
  if (replies.done.code >= 400)
    throw FtpError(FtpError::Kind::Refused, "STOR " + path + "：" + replies.done.text);
  if (!afterwards.empty()) afterwardsReplies_ = pipeline(afterwards);
  if (events_.end) events_.end();
}

bool FtpClient::storeAndRename(const std::string& localPath, const std::string& temporaryPath,
                               const std::string& path) {
  // The rename is sent only once the server has confirmed the whole file.
  sftpRenamed_ = false;
  store(localPath, temporaryPath, {"RNFR " + temporaryPath, "RNTO " + path});
  if (sftp_) return sftpRenamed_;
  return afterwardsReplies_.size() == 2 && accepted(afterwardsReplies_[0]) && accepted(afterwardsReplies_[1]);
}

}  // namespace kestrova::sync

namespace kestrova::sync {

void FtpClient::setIdleLimit(milliseconds limit) {
  idleLimit_ = limit;
  if (sftp_) sftp_->setIdleLimit(limit);
}

bool FtpClient::storeBatch(const std::vector<BatchUpload>& files, const BatchHooks& hooks) {
  cancel_ = false;
  storeReachedServer_ = false;
  if (!sftp_ || files.empty()) return false;
  requireConnection("STOR " + files.front().temporaryPath);
  for (const auto& file : files) madeEmpty_.erase(ParentFolder(file.path));
  return sftp_->storeBatch(files, events_, hooks, storeReachedServer_);
}

bool FtpClient::renameRemovedTarget() const { return sftp_ && sftp_->renameRemovedTarget(); }

std::vector<ListingEntry> FtpClient::listEntries(const std::string& directory, WallTime today) {
  // A folder this connection has just made holds nothing yet: no data
  // connection (and no TLS handshake) needed to learn that.
  if (madeEmpty_.count(DirectoryArgument(directory))) return {};
  if (sftp_) {
    cancel_ = false;
    return sftp_->list(DirectoryArgument(directory));
  }
  return ParseListing(list(directory), today);
}

}  // namespace kestrova::sync
