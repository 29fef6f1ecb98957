// The site's FTP connection. One object holds one logged-in control
// connection and carries one command at a time; callers serialise their use
// of it. Transfers run in active mode (the server connects back to us).
// With FTPS the control connection and every data connection run TLS.
//
// Every path given here is an absolute server path ("/site/video/a.mp4");
// the server's current directory is only ever changed by changeDir().
//
// The protocol is spoken here on plain sockets rather than through a
// general-purpose transfer library: a site sync needs a dozen commands, and
// loading such a library with its TLS, Kerberos and directory-service
// dependencies cost more than a whole scan of a small site from the terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp_socket.h"
#include "ftp_listing.h"
#include "site_protocol.h"
#include "tls_link.h"

namespace kestrova::sync {

// A failure of the connection itself (unreachable, lost), a rejected login,
// a server that could not be trusted, or a command the server refused where
// the caller cannot go on without it.
class FtpError : public std::runtime_error {
 public:
  enum class Kind { Connection, Refused, Login, Untrusted };
  FtpError(Kind kind, const std::string& text, std::string fingerprint = {})
      : std::runtime_error(text), kind_(kind), fingerprint_(std::move(fingerprint)) {}
  Kind kind() const { return kind_; }
  // Untrusted: the fingerprint of the certificate or host key refused.
  const std::string& fingerprint() const { return fingerprint_; }
  // Login, Untrusted: the connection itself works.
  bool serverReached() const { return kind_ == Kind::Login || kind_ == Kind::Untrusted; }

 private:
  Kind kind_;
  std::string fingerprint_;
};

// Progress of one data transfer: begin with the byte total (0 when the
// server does not give it in advance, as for listings), progress with the
// running count, end once the transfer is over.
struct WorkEvents {
  std::function<void(std::int64_t total)> begin;
  std::function<void(std::int64_t count)> progress;
  std::function<void()> end;
};

// Members after the first few carry {} so that a brace list naming only
// the address and the account leaves them empty without a warning.
struct FtpLogin {
  std::string host;
  int port = 21;
  std::string user;
  std::string password;
  SiteProtocol protocol = SiteProtocol::Ftp;
  // SFTP: a private key file to log in with (the password then unlocks it
  // when it is encrypted).
  std::string keyFile{};
  // Certificates or host keys trusted although they fail the checks
  // ("SHA256:..."): accepted once by the user or named on the command line.
  std::vector<std::string> acceptedFingerprints{};
  // Store the accepted fingerprints (in the files below) so later
  // connections trust them without asking.
  bool rememberAccepted = false;
  // Extra trusted CA certificates (PEM) beside the system's store.
  std::string caFile{};
  // Certificates accepted for good, and the SSH host keys seen before.
  std::string certificateExceptionsFile{};
  std::string knownHostsFile{};
};

// One file of a batch: stored at temporaryPath, then renamed over path.
struct BatchUpload {
  std::string localPath;
  std::string temporaryPath;
  std::string path;
};

// How a file of a batch ended. Failed: the kind and text of the error, as
// store() would have thrown it. RenameRefused: the whole file is at its
// temporary path but the server would not rename it.
struct BatchOutcome {
  enum class Result { Stored, Failed, RenameRefused };
  Result result = Result::Stored;
  FtpError::Kind kind = FtpError::Kind::Refused;
  std::string error{};
  // Stored: the published copy had to be deleted before the rename.
  bool removedTarget = false;
};

// What a batch tells its caller, file by file in the batch's order (however
// the server's answers interleave). started: the file is next in line; the
// work events (begin, progress, end) of its transfer follow. finished:
// false asks that no further file be started; files whose rename has gone
// out are still reported.
struct BatchHooks {
  std::function<void(size_t index)> started;
  std::function<bool(size_t index, const BatchOutcome& outcome)> finished;
};

class SftpSession;

class FtpClient {
 public:
  FtpClient();
  ~FtpClient();
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // Opens the control connection (with TLS for FTPS, checking the
  // certificate), logs in, sets TYPE I and asks SYST; for SFTP, opens the SSH
  // session (checking the host key) and its SFTP channel. Throws
  // FtpError(Connection) when the server cannot be reached, FtpError(Login)
  // when it refuses the login and FtpError(Untrusted) when its certificate
  // or host key is not trusted.
  void connect(const FtpLogin& login);
  // Sends QUIT and forgets the connection.
  void disconnect();
  bool connected() const { return connected_; }

  // SIZE: the byte count when the server answers 213, nothing otherwise.
  std::optional<std::int64_t> size(const std::string& path);
  // CWD / MKD / DELE: true when the server accepted the command.
  bool changeDir(const std::string& path);
  bool makeDir(const std::string& path);
  bool remove(const std::string& path);
  // LIST of a directory: the raw listing text. Throws FtpError(Refused) when
  // the listing fails.
  std::string list(const std::string& directory);
  // The directory's entries: LIST read by ParseListing, or the SFTP reply
  // (times in the local clock). Throws as list() does.
  std::vector<ListingEntry> listEntries(const std::string& directory, WallTime today);
  SiteProtocol protocol() const { return protocol_; }
  // STOR of a local file at path, replacing any server copy, then the
  // commands of afterwards once the transfer has succeeded (their refusals
  // are read with accepted()). Throws FtpError when the file cannot be read
  // or the store fails.
  void store(const std::string& localPath, const std::string& path,
             const std::vector<std::string>& afterwards = {});
  // Stores the file at temporaryPath and then renames it over path
  // (RNFR/RNTO), so that path is never seen half written. True when the
  // rename went through; false when the server refused it (the file is then
  // left at temporaryPath). Throws as store() does.
  bool storeAndRename(const std::string& localPath, const std::string& temporaryPath, const std::string& path);
  // Stores and renames many files with many requests under way at once,
  // reporting through hooks in order; a rename goes out only once the server
  // has confirmed the whole file, and only when every earlier file of the
  // batch has been confirmed too, so a failure leaves later files
  // unpublished (their temporary copies are deleted). False, with nothing
  // done, when the connection cannot run batches (not SFTP, or the server
  // refused a second channel): then store one by one. Throws FtpError when
  // the connection fails; storeReachedServer() then tells about the file
  // last started.
  bool storeBatch(const std::vector<BatchUpload>& files, const BatchHooks& hooks);
  // Whether the last store() got as far as a STOR that the server accepted,
  // so that the server may hold a partial file.
  bool storeReachedServer() const { return storeReachedServer_; }
  // SFTP: the last storeAndRename() had to delete the published copy before
  // its rename, because the server will not rename over a file.
  bool renameRemovedTarget() const;

  // ABOR then QUIT, ignoring failures; the connection is gone afterwards.
  void abortAndQuit();
  // Makes the command or transfer in progress (from another thread) give up
  // within a tenth of a second; the connection is closed then.
  void cancelTransfer() { cancel_ = true; }

  void setWorkEvents(WorkEvents events) { events_ = std::move(events); }
  // How long any wait for the server may go without a byte from it before
  // the connection is given up (two minutes unless set).
  void setIdleLimit(std::chrono::milliseconds limit);
  // Every command sent on the control connection since construction, in order
  // (the password replaced by "****"); for diagnostics and measurements.
  const std::vector<std::string>& commandsSent() const { return sent_; }

 private:
  struct Reply {
    int code = 0;
    std::string text;  // the reply's last line
  };
  // Sends one command line and reads its reply.
  Reply command(const std::string& line);
  // Sends several command lines at once and then reads one reply for each:
  // commands whose order the server keeps and whose outcome only matters
  // together (a rename's RNFR and RNTO) cost one round trip instead of two.
  std::vector<Reply> pipeline(const std::vector<std::string>& lines);
  void sendLines(const std::vector<std::string>& lines);
  // idleLimit 0: the connection's idle limit.
  Reply readReply(std::chrono::milliseconds idleLimit = std::chrono::milliseconds(0));
  // TYPE A for listings, TYPE I for files; sent only when it changes.
  void setType(char type);
  // A transfer: the PORT command, the command that starts it (its reply is
  // `start`; the two go out together once a PORT has been accepted), then
  // body runs on the data connection; `done` is the final reply, or a
  // made-up 426 when the data connection broke on our side.
  struct TransferReplies {
    Reply start, done;
  };
  TransferReplies transfer(const std::string& line, const std::function<SocketFailure(Stream& data)>& body);
  // Runs the TLS handshake on stream and judges the certificate; throws
  // FtpError(Untrusted) when it is not trusted. reuse: the session to resume.
  void startTls(Stream& stream, SSL_SESSION* reuse);
  void requireConnection(const std::string& what);
  // Forgets the control connection and everything tied to it.
  void dropConnection();
  // Closes the control connection and throws FtpError(Connection).
  [[noreturn]] void connectionLost(SocketFailure failure);
  bool accepted(const Reply& reply) const { return reply.code >= 100 && reply.code < 400; }

  Stream control_;
  std::unique_ptr<TlsContext> tls_;
  FtpLogin login_;  // of the current connection
  SiteProtocol protocol_ = SiteProtocol::Ftp;
  std::unique_ptr<SftpSession> sftp_;
  bool sftpRenamed_ = false;  // the rename after the last SFTP store went through
  std::string received_;  // control bytes read past the last reply
  char type_ = 0;
  bool connected_ = false;
  bool dataPortAccepted_ = false;  // a PORT went through on this connection
  std::atomic<bool> cancel_{false};
  WorkEvents events_;
  std::vector<std::string> sent_;
  bool storeReachedServer_ = false;
  std::vector<Reply> afterwardsReplies_;  // of the last store()
  std::chrono::milliseconds idleLimit_{120000};
  // Folders this connection created and has stored nothing in since.
  std::set<std::string> madeEmpty_;
};

}  // namespace kestrova::sync
