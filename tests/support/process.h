// Small helpers for tests that run real programs: a temporary folder, a free
// loopback port, a child process that is always reaped, and a shell command
// with its output.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrova::test {

// The folder that holds the built programs (kestrova-service, kestrova-cli, ...).
std::filesystem::path BinDir();

// A fresh folder below the system's temporary folder, removed with everything
// in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreeTcpPort();

// True once something accepts connections on 127.0.0.1:port.
bool WaitForTcpPort(int port, std::chrono::milliseconds timeout = std::chrono::seconds(15));

// A child process started with execvp. Its standard output and error go to
// logPath (or are discarded). The destructor terminates and reaps it.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(std::vector<std::string> argv, std::filesystem::path logPath = {},
               std::map<std::string, std::string> extraEnv = {});
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;

  int pid() const { return pid_; }
  bool running();
  // Sends the signal and waits for the process to end; returns its exit status
  // as waitpid reports it (or -1 when it was not running).
  int stop(int signal = 15, std::chrono::milliseconds grace = std::chrono::seconds(5));
  // Waits for the process to end by itself; returns its exit code, or -1.
  int wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  std::string log() const;

 private:
  int pid_ = -1;
  int status_ = -1;
  std::filesystem::path logPath_;
};

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs a shell command line and collects what it prints.
CommandResult RunCommand(const std::string& commandLine);

// Quotes a text for a POSIX shell.
std::string ShellQuote(const std::string& text);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

}  // namespace kestrova::test
