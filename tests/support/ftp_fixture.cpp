#include "ftp_fixture.h"

#include <sys/time.h>

#include <ctime>
#include <stdexcept>

namespace kestrova::test {
namespace {

std::string PythonText(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      quoted += c == '\n' ? "\\n" : "\\r";
      continue;
    }
    if (c == '\\' || c == '\'') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

std::string ServerScript(const FtpServerProcess::Options& options, const std::filesystem::path& root, int port) {
  std::string script =
      "from pyftpdlib.authorizers import DummyAuthorizer\n"
      "from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler\n"
      "from pyftpdlib.servers import FTPServer\n"
      "import os\n"
      "root = " + PythonText(root.string()) + "\n"
      "auth = DummyAuthorizer()\n"
      "auth.add_user(" + PythonText(options.user) + ", " + PythonText(options.password) +
      ", root, perm=" + (options.renameRefused ? "'elradmwMT'" : "'elradfmwMT'") + ")\n";
  for (const auto& folder : options.storeRefusedFolders)
    script += "auth.override_perm(" + PythonText(options.user) + ", os.path.join(root, " + PythonText(folder) +
              "), perm='elradfmMT', recursive=True)\n";
  script +=
      "handler = FTPHandler\n"
      "handler.authorizer = auth\n";
  if (!options.banner.empty()) script += "handler.banner = " + PythonText(options.banner) + "\n";
  if (options.uploadBytesPerSecond > 0) {
    script +=
        "dtp = ThrottledDTPHandler\n"
        "dtp.read_limit = " + std::to_string(options.uploadBytesPerSecond) + "\n"
        "handler.dtp_handler = dtp\n";
  }
  if (options.storeByteLimit > 0) {
    script +=
        "import logging\n"
        "class QuotaDTP(handler.dtp_handler):\n"
        "    def handle_read(self):\n"
        "        super().handle_read()\n"
        "        if self.receive and not self._closed and self.tot_bytes_received > " +
        std::to_string(options.storeByteLimit) + ":\n"
        "            self._resp = ('552 Disk quota exceeded; transfer aborted.', logging.warning)\n"
        "            self.close()\n"
        "    handle_read_event = handle_read\n"
        "handler.dtp_handler = QuotaDTP\n";
  }
  script += "FTPServer(('127.0.0.1', " + std::to_string(port) + "), handler).serve_forever()\n";
  return script;
}

}  // namespace

FtpServerProcess::FtpServerProcess(Options options) : options_(std::move(options)) {
  root_ = dir_ / "root";
  std::filesystem::create_directories(root_);
  port_ = FreeTcpPort();
  for (const auto& folder : options_.storeRefusedFolders) std::filesystem::create_directories(root_ / folder);
  // The python3 first on PATH may lack the module; Debian's has it.
  std::vector<std::string> argv;
  if (options_.storeRefusedFolders.empty() && options_.uploadBytesPerSecond == 0 && options_.storeByteLimit == 0 &&
      !options_.renameRefused && options_.banner.empty()) {
    argv = {"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port_), "-w",
            "-d", root_.string(), "-u", options_.user, "-P", options_.password};
  } else {
    WriteFile(dir_ / "server.py", ServerScript(options_, root_, port_));
    argv = {"/usr/bin/python3", (dir_ / "server.py").string()};
  }
  process_ = ChildProcess(argv, dir_ / "server.log");
  if (!WaitForTcpPort(port_)) throw std::runtime_error("the FTP server did not start:\n" + process_.log());
}

FtpServerProcess::~FtpServerProcess() = default;

void FtpServerProcess::kill() { process_.stop(9); }

void SetModificationTime(const std::filesystem::path& path, const std::string& localTime) {
  std::tm parts{};
  if (!strptime(localTime.c_str(), "%Y-%m-%d %H:%M:%S", &parts)) throw std::invalid_argument(localTime);
  parts.tm_isdst = -1;
  std::time_t when = std::mktime(&parts);
  struct timeval times[2] = {{when, 0}, {when, 0}};
  if (utimes(path.c_str(), times) != 0) throw std::runtime_error("cannot set the time of " + path.string());
}

}  // namespace kestrova::test
