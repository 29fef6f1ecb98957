// FTPS (explicit and implicit) against pyftpdlib's TLS handler and SFTP
// against OpenSSH's sshd, both on loopback with certificates and keys made
// here: the same store-and-rename and listing as plain FTP, and the trust
// decisions (unknown CA, name mismatch, accepted once or for good, a changed
// host key).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "ftp_client.h"
#include "ftp_fixture.h"
#include "process.h"
#include "trust_store.h"

namespace kestrova::sync {
namespace {

using test::ChildProcess;
using test::FtpServerProcess;
using test::ReadFile;
using test::RunCommand;
using test::ShellQuote;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

void RunChecked(const std::string& line) {
  auto result = RunCommand(line + " 2>&1");
  ASSERT_EQ(result.exitCode, 0) << line << "\n" << result.output;
}

// A CA and a server certificate it signed for subject (an IP or a DNS name).
struct Certificates {
  TempDir dir;
  fs::path ca = dir / "ca.pem", server = dir / "server.pem";
  explicit Certificates(const std::string& subjectAltName) {
    std::string d = ShellQuote(dir.path().string());
    RunChecked("cd " + d + " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=TestCA");
    RunChecked("cd " + d + " && openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj /CN=site");
    WriteFile(dir / "ext.cnf", "subjectAltName=" + subjectAltName + "\n");
    RunChecked("cd " + d + " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 " +
        "-extfile ext.cnf -out server.crt && cat server.crt server.key > server.pem");
  }
};

// Stores a file over an existing one by temporary name and rename, lists the
// folder and checks what the server holds: the same steps on every protocol.
void StoreAndList(FtpClient& client, const fs::path& serverRoot, const std::string& siteRoot) {
  TempDir local;
  WriteFile(local / "新闻.mp4", "new copy");
  ASSERT_TRUE(client.makeDir(siteRoot + "/视频"));
  ASSERT_TRUE(client.changeDir(siteRoot + "/视频"));
  WriteFile(serverRoot / "视频/新闻.mp4", "old copy");
  ASSERT_TRUE(client.storeAndRename((local / "新闻.mp4").string(), siteRoot + "/视频/新闻.mp4.part",
                                    siteRoot + "/视频/新闻.mp4"));
  EXPECT_EQ(ReadFile(serverRoot / "视频/新闻.mp4"), "new copy");
  EXPECT_FALSE(fs::exists(serverRoot / "视频/新闻.mp4.part"));
  EXPECT_EQ(client.size(siteRoot + "/视频/新闻.mp4"), 8);
  auto entries = client.listEntries(siteRoot + "/视频", WallTime{});
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "新闻.mp4");
  EXPECT_FALSE(entries[0].isDirectory);
}

FtpLogin FtpsLogin(int port, SiteProtocol protocol) {
  FtpLogin login{"127.0.0.1", port, "sync", "secret"};
  login.protocol = protocol;
  return login;
}

TEST(Ftps, ExplicitAndImplicitStoreAndListUnderTlsWithATrustedCa) {
  Certificates certificates("IP:127.0.0.1");
  for (bool implicit : {false, true}) {
    SCOPED_TRACE(implicit ? "implicit" : "explicit");
    FtpServerProcess server({.protocol = implicit ? "ftps-implicit" : "ftps", .certificate = certificates.server});
    FtpClient client;
    FtpLogin login = FtpsLogin(server.port(), implicit ? SiteProtocol::FtpsImplicit : SiteProtocol::Ftps);
    login.caFile = certificates.ca.string();
    client.connect(login);
    StoreAndList(client, server.root(), "");
    // Data connections ran under TLS: the server requires PROT P for them.
    bool protected_ = false;
    for (const auto& line : client.commandsSent()) protected_ = protected_ || line == "PROT P";
    EXPECT_TRUE(protected_);
  }
}

TEST(Ftps, AnUntrustedCertificateIsRefusedWithItsFingerprintThenAcceptedOnceOrForGood) {
  Certificates certificates("IP:127.0.0.1");
  FtpServerProcess server({.protocol = "ftps", .certificate = certificates.server});
  TempDir trust;
  FtpLogin login = FtpsLogin(server.port(), SiteProtocol::Ftps);
  login.certificateExceptionsFile = (trust / "trusted").string();
  FtpClient client;
  std::string fingerprint;
  try {
    client.connect(login);
    FAIL() << "a certificate of an unknown CA was trusted";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Untrusted);
    fingerprint = error.fingerprint();
    EXPECT_EQ(fingerprint.rfind("SHA256:", 0), 0u);
    EXPECT_NE(std::string(error.what()).find(fingerprint), std::string::npos) << error.what();
  }
  EXPECT_FALSE(client.connected());

  FtpLogin once = login;
  once.acceptedFingerprints = {fingerprint};
  client.connect(once);
  EXPECT_TRUE(client.connected());
  client.disconnect();
  EXPECT_FALSE(fs::exists(trust / "trusted")) << "accepted once is not stored";

  FtpLogin forGood = once;
  forGood.rememberAccepted = true;
  client.connect(forGood);
  client.disconnect();
  client.connect(login);  // no fingerprint given now: the stored exception answers
  EXPECT_TRUE(client.connected());
}

// Sets an environment variable for the scope's length.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Ftps, ASystemCaFoundOnlyInTheBundleFileIsTrusted) {
  // A system whose certificate folder holds no lookup links for its CAs:
  // the bundle file alone knows the server's CA.
  Certificates certificates("IP:127.0.0.1");
  TempDir emptyFolder;
  ScopedEnv folder("SSL_CERT_DIR", emptyFolder.path().string());
  ScopedEnv bundle("SSL_CERT_FILE", certificates.ca.string());
  FtpServerProcess server({.protocol = "ftps", .certificate = certificates.server});
  FtpClient client;
  client.connect(FtpsLogin(server.port(), SiteProtocol::Ftps));
  EXPECT_TRUE(client.connected());
  StoreAndList(client, server.root(), "");
}

TEST(Ftps, ACertificateForAnotherNameIsRefusedEvenFromATrustedCa) {
  Certificates certificates("DNS:other.example");
  FtpServerProcess server({.protocol = "ftps-implicit", .certificate = certificates.server});
  FtpLogin login = FtpsLogin(server.port(), SiteProtocol::FtpsImplicit);
  login.caFile = certificates.ca.string();
  FtpClient client;
  try {
    client.connect(login);
    FAIL() << "a certificate for another name was trusted";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Untrusted);
    EXPECT_NE(std::string(error.what()).find("名称"), std::string::npos) << error.what();
  }
}

// OpenSSH's sshd on a free port with its own config and host key, letting
// root in with one key only.
class SshServer {
 public:
  SshServer() {
    std::string d = ShellQuote(dir_.path().string());
    fs::create_directories(root_);
    RunChecked("ssh-keygen -q -t ed25519 -N '' -f " + d + "/host_key");
    RunChecked("ssh-keygen -q -t ed25519 -N '' -f " + d + "/client_key");
    fs::copy_file(dir_ / "client_key.pub", dir_ / "authorized_keys");
    port_ = test::FreeTcpPort();
    WriteFile(dir_ / "sshd_config",
              "Port " + std::to_string(port_) + "\nListenAddress 127.0.0.1\nHostKey " + (dir_ / "host_key").string() +
                  "\nPidFile none\nUsePAM no\nPasswordAuthentication no\nPermitRootLogin prohibit-password\n"
                  "StrictModes no\nAuthorizedKeysFile " + (dir_ / "authorized_keys").string() +
                  "\nSubsystem sftp internal-sftp\nLogLevel ERROR\n");
    fs::create_directories("/run/sshd");  // sshd's privilege separation folder
    process_ = ChildProcess({"/usr/sbin/sshd", "-D", "-e", "-f", (dir_ / "sshd_config").string()}, dir_ / "sshd.log");
    if (!test::WaitForTcpPort(port_)) throw std::runtime_error("sshd did not start:\n" + process_.log());
  }
  FtpLogin login(const fs::path& knownHosts) const {
    FtpLogin login{"127.0.0.1", port_, "root", ""};
    login.protocol = SiteProtocol::Sftp;
    login.keyFile = (dir_ / "client_key").string();
    login.knownHostsFile = knownHosts.string();
    return login;
  }
  const fs::path& root() const { return root_; }
  void replaceHostKey() {
    process_.stop();
    fs::remove(dir_ / "host_key");
    fs::remove(dir_ / "host_key.pub");
    RunChecked("ssh-keygen -q -t ed25519 -N '' -f " + ShellQuote((dir_ / "host_key").string()));
    process_ = ChildProcess({"/usr/sbin/sshd", "-D", "-e", "-f", (dir_ / "sshd_config").string()}, dir_ / "sshd.log");
    if (!test::WaitForTcpPort(port_)) throw std::runtime_error("sshd did not restart:\n" + process_.log());
  }

 private:
  TempDir dir_;
  fs::path root_ = dir_ / "site";
  int port_ = 0;
  ChildProcess process_;
};

std::string UntrustedFingerprint(FtpClient& client, const FtpLogin& login) {
  try {
    client.connect(login);
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Untrusted) << error.what();
    return error.fingerprint();
  }
  ADD_FAILURE() << "connected to an unknown host";
  return "";
}

// A server, a trust folder of the test's own, a login to the server that
// trusts that folder, and a client.
struct SftpSite {
  SshServer server;
  TempDir trust;
  FtpLogin login = server.login(trust / "known_hosts");
  FtpClient client;
};

TEST(Sftp, AFirstConnectionAsksThenTheKnownKeyStoresAndRenamesOverTheOldCopy) {
  if (geteuid() != 0) GTEST_SKIP() << "sshd with its own config runs as root here";
  SftpSite site;
  auto& [server, trust, login, client] = site;
  std::string fingerprint = UntrustedFingerprint(client, login);
  ASSERT_EQ(fingerprint.rfind("SHA256:", 0), 0u);
  FtpLogin accepted = login;
  accepted.acceptedFingerprints = {fingerprint};
  accepted.rememberAccepted = true;
  client.connect(accepted);
  client.disconnect();
  client.connect(login);  // the known-hosts file answers now
  StoreAndList(client, server.root(), server.root().string());
  EXPECT_TRUE(client.renameRemovedTarget() || ReadFile(server.root() / "视频/新闻.mp4") == "new copy");

  client.disconnect();
  server.replaceHostKey();
  try {
    client.connect(accepted);
    FAIL() << "a changed host key was accepted";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Untrusted);
    EXPECT_TRUE(error.fingerprint().empty()) << "a changed key is not offered for acceptance";
    EXPECT_NE(std::string(error.what()).find("警告"), std::string::npos) << error.what();
  }
}

TEST(Sftp, AWrongKeyIsALoginErrorNotAnUnreachableServer) {
  if (geteuid() != 0) GTEST_SKIP() << "sshd with its own config runs as root here";
  SftpSite site;
  auto& [server, trust, login, client] = site;
  login.acceptedFingerprints = {UntrustedFingerprint(client, login)};
  RunChecked("ssh-keygen -q -t ed25519 -N '' -f " + ShellQuote((trust / "other_key").string()));
  login.keyFile = (trust / "other_key").string();
  try {
    client.connect(login);
    FAIL() << "logged in with a key the server does not know";
  } catch (const FtpError& error) {
    EXPECT_EQ(error.kind(), FtpError::Kind::Login) << error.what();
  }
}

// The session's watcher cuts it when cancel is pressed, also between two
// calls; the next call then fails on the cut socket after clearing the flag,
// and must still say that the run was cancelled, not that the server closed
// the connection.
TEST(Sftp, ACancelPressedBetweenCallsIsReportedAsACancel) {
  if (geteuid() != 0) GTEST_SKIP() << "sshd with its own config runs as root here";
  SftpSite site;
  auto& [server, trust, login, client] = site;
  login.acceptedFingerprints = {UntrustedFingerprint(client, login)};
  client.connect(login);
  // The watcher looks every 50 ms: a call that starts before it has cut the
  // session goes through (and clears the cancel), so press it again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    client.cancelTransfer();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    try {
      client.size("/no such file");
    } catch (const FtpError& error) {
      EXPECT_EQ(error.kind(), FtpError::Kind::Connection);
      EXPECT_STREQ(error.what(), "操作已取消");
      return;
    }
  }
  FAIL() << "the session was never cut";
}

}  // namespace
}  // namespace kestrova::sync
