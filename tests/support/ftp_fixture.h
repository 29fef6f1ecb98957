// Runs a real FTP server (Debian's pyftpdlib) on a free loopback port with a
// fresh root folder for a test.
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
#include <string>
#include <vector>

#include "process.h"

namespace kestrova::test {

class FtpServerProcess {
 public:
  struct Options {
    std::string user = "sync";
    std::string password = "secret";
    // Folders (relative to the root) where STOR is refused while CWD, LIST,
    // DELE and MKD stay allowed. They are created empty.
    std::vector<std::string> storeRefusedFolders{};
    // Upload speed limit in bytes per second (0: none).
    long uploadBytesPerSecond = 0;
    // A store is cut off with "552" once it has received more than this many
    // bytes, as a full disk or a quota would (0: no limit). What arrived
    // before stays on the server.
    long storeByteLimit = 0;
    // RNFR/RNTO refused (no rename permission).
    bool renameRefused = false;
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
  // Ends the server at once (SIGKILL), as a crash or a pulled cable would.
  void kill();
  bool running() { return process_.running(); }
  std::string log() const { return process_.log(); }

 private:
  Options options_;
  TempDir dir_;
  std::filesystem::path root_;
  int port_ = 0;
  ChildProcess process_;
};

// Sets a file's modification time (local wall clock, "YYYY-MM-DD HH:MM:SS").
void SetModificationTime(const std::filesystem::path& path, const std::string& localTime);

}  // namespace kestrova::test
