#include "ftp_fixture.h"

#include <signal.h>
#include <sys/time.h>

#include <ctime>
#include <fstream>
#include <sstream>
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

void RunChecked(const std::string& line) {
  CommandResult result = RunCommand("(" + line + ") 2>&1");
  if (result.exitCode != 0) throw std::runtime_error(line + " failed:\n" + result.output);
}

// A CA and a server certificate it signed for 127.0.0.1, in folder.
void MakeCertificates(const std::filesystem::path& folder) {
  std::string d = "cd " + ShellQuote(folder.string()) + " && ";
  RunChecked(d + "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=TestCA");
  RunChecked(d + "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=site");
  WriteFile(folder / "ext.cnf", "subjectAltName=IP:127.0.0.1\n");
  RunChecked(d + "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 " +
             "-extfile ext.cnf -out server.crt && cat server.crt server.key > server.pem");
}

// The handler class of the script: plain FTP, or TLS on control and data
// connections; implicit TLS shakes hands before the greeting.
std::string HandlerLines(const std::string& protocol, const std::filesystem::path& certificate) {
  if (protocol == "ftp") return "handler = FTPHandler\n";
  return std::string(
             "class handler(TLS_FTPHandler):\n"
             "    implicit = ") + (protocol == "ftps-implicit" ? "True" : "False") + "\n"
         "    greeted = False\n"
         "    def handle(self):\n"
         "        if self.implicit: self.secure_connection(self.ssl_context)\n"
         "        else: super().handle()\n"
         "    def handle_ssl_established(self):\n"
         "        if self.implicit and not self.greeted:\n"
         "            self.greeted = True\n"
         "            TLS_FTPHandler.handle(self)\n"
         "handler.certfile = " + PythonText(certificate.string()) + "\n"
         "handler.tls_control_required = True\n"
         "handler.tls_data_required = True\n";
}

std::string ServerScript(const FtpServerProcess::Options& options, const std::filesystem::path& root, int port,
                         const std::filesystem::path& certificate) {
  std::string script =
      "from pyftpdlib.authorizers import DummyAuthorizer\n"
      "from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler, TLS_FTPHandler\n"
      "from pyftpdlib.servers import FTPServer\n"
      "import os\n"
      "root = " + PythonText(root.string()) + "\n"
      "auth = DummyAuthorizer()\n"
      "auth.add_user(" + PythonText(options.user) + ", " + PythonText(options.password) +
      ", root, perm=" + (options.renameRefused ? "'elradmwMT'" : "'elradfmwMT'") + ")\n";
  for (const auto& folder : options.storeRefusedFolders)
    script += "auth.override_perm(" + PythonText(options.user) + ", os.path.join(root, " + PythonText(folder) +
              "), perm='elradfmMT', recursive=True)\n";
  script += HandlerLines(options.protocol, certificate) + "handler.authorizer = auth\n";
  if (!options.banner.empty()) script += "handler.banner = " + PythonText(options.banner) + "\n";
  if (options.uploadBytesPerSecond > 0) {
    script +=
        "dtp = ThrottledDTPHandler\n"
        "dtp.read_limit = " + std::to_string(options.uploadBytesPerSecond) + "\n"
        "handler.dtp_handler = dtp\n";
  }
  if (options.portsBeforeRefusal >= 0) {
    script +=
        "class PortLimited(handler):\n"
        "    ports = 0\n"
        "    def ftp_PORT(self, line):\n"
        "        self.ports += 1\n"
        "        if self.ports > " + std::to_string(options.portsBeforeRefusal) + ":\n"
        "            return self.respond('425 No more data connections.')\n"
        "        return super().ftp_PORT(line)\n"
        "handler = PortLimited\n";
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
  if (options_.protocol == "sftp")
    startSshd();
  else
    startPyftpdlib();
  if (!WaitForTcpPort(port_)) throw std::runtime_error("the " + options_.protocol + " server did not start:\n" + process_.log());
}

void FtpServerProcess::startPyftpdlib() {
  // The python3 first on PATH may lack the module; Debian's has it.
  std::vector<std::string> argv;
  if (options_.protocol == "ftp" && options_.storeRefusedFolders.empty() && options_.uploadBytesPerSecond == 0 &&
      options_.storeByteLimit == 0 && !options_.renameRefused && options_.banner.empty() &&
      options_.portsBeforeRefusal < 0) {
    argv = {"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port_), "-w",
            "-d", root_.string(), "-u", options_.user, "-P", options_.password};
  } else {
    if (options_.protocol != "ftp" && options_.certificate.empty()) MakeCertificates(dir_.path());
    std::filesystem::path certificate = options_.certificate.empty() ? dir_ / "server.pem" : options_.certificate;
    WriteFile(dir_ / "server.py", ServerScript(options_, root_, port_, certificate));
    argv = {"/usr/bin/python3", (dir_ / "server.py").string()};
  }
  process_ = ChildProcess(argv, dir_ / "server.log");
}

// sshd with its own config and host key, letting the test's user (root, as
// sshd needs to be here) in with one key only. No jail: sshd accepts none
// below the world-writable temporary folder, so SFTP paths are real paths
// (sitePath()).
void FtpServerProcess::startSshd() {
  if (options_.uploadBytesPerSecond > 0 || options_.storeByteLimit > 0 || options_.renameRefused ||
      !options_.banner.empty())
    throw std::invalid_argument("the SFTP test server has no speed limit, quota, rename refusal or banner");
  // sshd runs as root here and lets root in, with the key alone.
  options_.user = "root";
  options_.password.clear();
  std::string d = ShellQuote(dir_.path().string());
  RunChecked("ssh-keygen -q -t ed25519 -N '' -f " + d + "/host_key");
  RunChecked("ssh-keygen -q -t ed25519 -N '' -f " + d + "/client_key");
  std::filesystem::copy_file(dir_ / "client_key.pub", dir_ / "authorized_keys");
  std::istringstream printed(RunCommand("ssh-keygen -lf " + d + "/host_key.pub").output);
  std::string bits;
  printed >> bits >> fingerprint_;
  for (const auto& folder : options_.storeRefusedFolders)
    RunChecked("chattr +i " + ShellQuote((root_ / folder).string()));
  WriteFile(dir_ / "sshd_config",
            "Port " + std::to_string(port_) + "\nListenAddress 127.0.0.1\nHostKey " + (dir_ / "host_key").string() +
                "\nPidFile none\nUsePAM no\nPasswordAuthentication no\nPermitRootLogin prohibit-password\n"
                "StrictModes no\nAuthorizedKeysFile " + (dir_ / "authorized_keys").string() +
                "\nForceCommand internal-sftp\n"
                "Subsystem sftp internal-sftp\nLogLevel ERROR\n" +
                (options_.sshSessions > 0 ? "MaxSessions " + std::to_string(options_.sshSessions) + "\n" : ""));
  std::filesystem::create_directories("/run/sshd");  // sshd's privilege separation folder
  process_ = ChildProcess({"/usr/sbin/sshd", "-D", "-e", "-f", (dir_ / "sshd_config").string()}, dir_ / "server.log");
}

FtpServerProcess::~FtpServerProcess() {
  process_.stop(9);
  // An immutable folder would outlive the test's temporary folder.
  if (options_.protocol == "sftp")
    for (const auto& folder : options_.storeRefusedFolders)
      RunCommand("chattr -i " + ShellQuote((root_ / folder).string()) + " 2>&1");
}

namespace {
// The processes a process has forked (and theirs), deepest first.
std::vector<int> Descendants(int pid) {
  std::vector<int> all;
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  for (int child; children >> child;) {
    for (int below : Descendants(child)) all.push_back(below);
    all.push_back(child);
  }
  return all;
}
}  // namespace

void FtpServerProcess::kill() {
  // sshd serves each connection from a process of its own.
  if (process_.pid() > 0)
    for (int session : Descendants(process_.pid())) ::kill(session, SIGKILL);
  process_.stop(9);
}

void FtpServerProcess::placeFiles(const std::function<void()>& write) {
  bool sealed = options_.protocol == "sftp";
  if (sealed)
    for (const auto& folder : options_.storeRefusedFolders) RunChecked("chattr -i " + ShellQuote((root_ / folder).string()));
  write();
  if (sealed)
    for (const auto& folder : options_.storeRefusedFolders) RunChecked("chattr +i " + ShellQuote((root_ / folder).string()));
}

void FtpServerProcess::pause() {
  if (process_.pid() <= 0) return;
  ::kill(process_.pid(), SIGSTOP);
  for (int session : Descendants(process_.pid())) ::kill(session, SIGSTOP);
}

void FtpServerProcess::resume() {
  if (process_.pid() <= 0) return;
  for (int session : Descendants(process_.pid())) ::kill(session, SIGCONT);
  ::kill(process_.pid(), SIGCONT);
}

void SetModificationTime(const std::filesystem::path& path, const std::string& localTime) {
  std::tm parts{};
  if (!strptime(localTime.c_str(), "%Y-%m-%d %H:%M:%S", &parts)) throw std::invalid_argument(localTime);
  parts.tm_isdst = -1;
  std::time_t when = std::mktime(&parts);
  struct timeval times[2] = {{when, 0}, {when, 0}};
  if (utimes(path.c_str(), times) != 0) throw std::runtime_error("cannot set the time of " + path.string());
}

}  // namespace kestrova::test
