// Runs a real site server on a free loopback port with a fresh root folder
// for a test: FTP, FTPS (explicit or implicit) with Debian's pyftpdlib, or
// SFTP with OpenSSH's sshd (key login only),
// so that the same test can run on every protocol.
//
//   kestrova::test::FtpServerProcess server;
//   WriteFile(server.root() / "site/a.txt", "...");   // the server's files
//   ... connect to 127.0.0.1:server.port() as server.user()/server.password()
//
// Plain servers run `python3 -m pyftpdlib`; a server with refused folders or
// a speed limit runs a few lines of Python over the same library, because
// the module's command line has no switch for those.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "process.h"

namespace kestrova::test {

class FtpServerProcess {
 public:
  struct Options {
    // "ftp", "ftps", "ftps-implicit" or "sftp". TLS servers present a
    // certificate of a CA made for the server (caFile()); the SSH server a
    // host key of its own (hostKeyFingerprint()).
    std::string protocol = "ftp";
    // TLS: the server's certificate and key (PEM); empty: one made for
    // 127.0.0.1 by a CA of the server's own (caFile()).
    std::filesystem::path certificate{};
    std::string user = "sync";
    std::string password = "secret";
    // Folders (relative to the root) where STOR is refused while CWD, LIST,
    // DELE and MKD stay allowed. They are created empty. (SFTP: the folder is
    // made immutable, so nothing can be created or deleted in it.)
    std::vector<std::string> storeRefusedFolders{};
    // Upload speed limit in bytes per second (0: none). FTP and FTPS only.
    long uploadBytesPerSecond = 0;
    // A store is cut off with "552" once it has received more than this many
    // bytes, as a full disk or a quota would (0: no limit). What arrived
    // before stays on the server. FTP and FTPS only.
    long storeByteLimit = 0;
    // RNFR/RNTO refused (no rename permission).
    bool renameRefused = false;
    // PORT refused once this many have been accepted on a connection (-1:
    // never), as by a server whose limit on data connections is reached.
    int portsBeforeRefusal = -1;
    // SFTP: sessions (channels) sshd allows on one connection (0: its default).
    int sshSessions = 0;
    // The greeting's text; one longer than a line is sent as a multi-line
    // reply, and line breaks inside it go out as they are.
    std::string banner{};
  };

  FtpServerProcess() : FtpServerProcess(Options{}) {}
  explicit FtpServerProcess(Options options);
  ~FtpServerProcess();
  FtpServerProcess(const FtpServerProcess&) = delete;
  FtpServerProcess& operator=(const FtpServerProcess&) = delete;

  const std::filesystem::path& root() const { return root_; }
  int port() const { return port_; }
  const std::string& user() const { return options_.user; }
  const std::string& password() const { return options_.password; }
  const std::string& protocol() const { return options_.protocol; }
  // What a client names path (below the root, "/site/a") on this server: the
  // FTP servers serve the root folder as "/", SFTP shows the real file system.
  std::string sitePath(const std::string& path) const {
    return options_.protocol == "sftp" ? root_.string() + path : path;
  }
  // The CA that signed a TLS server's certificate.
  std::filesystem::path caFile() const { return dir_ / "ca.pem"; }
  // SFTP: the private key the server lets in, and its host key's fingerprint
  // ("SHA256:...").
  std::filesystem::path keyFile() const { return dir_ / "client_key"; }
  const std::string& hostKeyFingerprint() const { return fingerprint_; }
  // Ends the server at once (SIGKILL), as a crash or a pulled cable would;
  // for SFTP the sessions it has forked too.
  void kill();
  bool running() { return process_.running(); }
  // Runs write (which puts files below root()) with the store-refused
  // folders open to it, where the server's refusal would stand in its way.
  void placeFiles(const std::function<void()>& write);
  // Stops the server where it stands (SIGSTOP), sessions and all, so it
  // answers nothing while connections stay open; resume() lets it go on.
  void pause();
  void resume();
  std::string log() const { return process_.log(); }

 private:
  Options options_;
  TempDir dir_;
  std::filesystem::path root_;
  int port_ = 0;
  std::string fingerprint_;
  ChildProcess process_;

  void startPyftpdlib();
  void startSshd();
};

// Sets a file's modification time (local wall clock, "YYYY-MM-DD HH:MM:SS").
void SetModificationTime(const std::filesystem::path& path, const std::string& localTime);

}  // namespace kestrova::test
