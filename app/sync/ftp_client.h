// The site's FTP connection on libcurl. One object holds one logged-in control
// connection (libcurl keeps it alive between calls) and carries one command
// at a time; callers serialise their use of it.
//
// Every path given here is an absolute server path ("/site/video/a.mp4").
// libcurl is told never to change directories on its own, so the server's
// current directory is only ever changed by changeDir().
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrova::sync {

// A failure of the connection itself (refused, lost, login rejected), or a
// command the server refused where the caller cannot go on without it.
class FtpError : public std::runtime_error {
 public:
  enum class Kind { Connection, Refused };
  FtpError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// Progress of one data transfer: begin with the byte total (0 when the
// server does not give it in advance, as for listings), progress with the
// running count, end once the transfer is over.
struct WorkEvents {
  std::function<void(std::int64_t total)> begin;
  std::function<void(std::int64_t count)> progress;
  std::function<void()> end;
};

struct FtpLogin {
  std::string host;
  int port = 21;
  std::string user;
  std::string password;
};

class FtpClient {
 public:
  FtpClient();
  ~FtpClient();
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // Opens the control connection, logs in, sets TYPE I and asks SYST.
  // Throws FtpError(Connection) when the server cannot be reached or refuses
  // the login.
  void connect(const FtpLogin& login);
  // Sends QUIT (through libcurl's clean-up) and forgets the connection.
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
  // Whether the last store() got as far as a STOR that the server accepted,
  // so that the server may hold a partial file.
  bool storeReachedServer() const { return storeReachedServer_; }

  // ABOR then QUIT, ignoring failures; the connection is gone afterwards.
  void abortAndQuit();
  // Makes the transfer in progress (from another thread) give up at once.
  void cancelTransfer() { cancel_ = true; }

  void setWorkEvents(WorkEvents events) { events_ = std::move(events); }
  // Every command sent on the control connection since construction, in order
  // (the password replaced by "****"); for diagnostics and measurements.
  const std::vector<std::string>& commandsSent() const { return sent_; }

  // Internal: called from libcurl's callbacks.
  void onTrafficLine(bool outgoing, const std::string& line);
  int onTransferProgress(std::int64_t total, std::int64_t count);

 private:
  struct Reply {
    int code = 0;
    std::string text;
  };
  enum class Body { None, Listing, Upload };
  // Runs one libcurl request on the shared connection; returns the CURLcode.
  int perform(const std::string& path, Body body, const std::vector<std::string>& quotes,
              const std::vector<std::string>& afterTransfer = {});
  // The first reply to a command that starts with verb, sent by the last perform().
  std::optional<Reply> replyTo(const std::string& verb) const;
  // Whether the last perform() got a positive reply to a command starting with verb.
  bool accepted(const std::string& verb) const;
  bool simpleCommand(const std::string& command);
  [[noreturn]] void throwFor(int curlCode, const std::string& what);
  std::string url(const std::string& path) const;

  void* curl_ = nullptr;
  FtpLogin login_;
  bool connected_ = false;
  std::atomic<bool> cancel_{false};
  WorkEvents events_;
  std::vector<std::string> sent_;
  // Commands and replies of the current perform(), paired in order.
  std::vector<std::pair<std::string, Reply>> exchange_;
  std::string partialReply_;
  std::string listing_;
  std::int64_t lastCount_ = -1;
  bool inTransfer_ = false;
  bool storeReachedServer_ = false;
  char errorBuffer_[256] = {};
};

// True when a libcurl result means the control connection is gone or never came up.
bool IsConnectionFailure(int curlCode);

}  // namespace kestrova::sync
