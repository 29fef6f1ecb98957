// The documented deployment, put together from its real parts on loopback:
// two kestrova-service instances on one PostgreSQL database behind nginx,
// which ends TLS with a certificate from deploy/make-test-certificate and
// balances over the instances (deploy/nginx-config). The terminal tool talks
// to it over https:// with the test authority; an instance killed under a
// stream of writes loses no acknowledged write.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <set>

#include "pg_schema.h"
#include "service_fixture.h"
#include "service_requests.h"

using namespace kestrova::test;
namespace requests = kestrova::test::requests;

namespace {

const std::filesystem::path kSource = KESTROVA_SOURCE_DIR;

struct HttpsAnswer {
  int exitCode = -1;
  std::string headers, body;
};

class DeploymentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!schema.available()) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    if (RunCommand("command -v nginx && command -v openssl && command -v curl").exitCode != 0)
      GTEST_SKIP() << "nginx, openssl or curl missing (scripts/install-deps)";
    auto made = RunCommand(ShellQuote((kSource / "deploy/make-test-certificate").string()) + " " +
                           ShellQuote((dir / "tls").string()));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ServiceProcess::Options options{.serveArgs = serveArgs(), .db = schema.db()};
    a = std::make_unique<ServiceProcess>(options);
    b = std::make_unique<ServiceProcess>(options);
    companyId = a->addCompany({{"account", "acme"}, {"password", "secret"}});
    port = FreeTcpPort();
    auto config = RunCommand(ShellQuote((kSource / "deploy/nginx-config").string()) + " " +
                             ShellQuote((dir / "nginx").string()) + " 127.0.0.1:" + std::to_string(port) + " " +
                             ShellQuote((dir / "tls/server.pem").string()) + " " +
                             ShellQuote((dir / "tls/server.key").string()) + " 127.0.0.1:" +
                             std::to_string(a->port()) + " 127.0.0.1:" + std::to_string(b->port()));
    ASSERT_EQ(config.exitCode, 0) << config.output;
    nginx = ChildProcess({"nginx", "-c", (dir / "nginx/nginx.conf").string()}, dir / "nginx.log");
    ASSERT_TRUE(WaitForTcpPort(port)) << nginx.log();
  }

  // nginx ends its workers on SIGTERM; the SIGKILL a ChildProcess ends with
  // would leave them serving the port.
  void TearDown() override { nginx.stop(SIGTERM); }

  virtual std::vector<std::string> serveArgs() const { return {}; }

  std::string url() const { return "https://127.0.0.1:" + std::to_string(port); }

  // Where a request comes from and goes to: by default through nginx, from
  // 127.0.0.1. Any address of 127/8 is this machine's, so tests can play
  // several clients.
  struct Route {
    std::string from = "";         // source address (curl --interface)
    std::string to = "";           // base URL; empty: nginx
    std::string extraHeader = "";  // e.g. a forged X-Forwarded-For
  };

  // One request with curl, the test authority trusted.
  HttpsAnswer post(const std::string& body, const std::string& session = "") { return post(body, session, Route()); }
  HttpsAnswer post(const std::string& body, const std::string& session, const Route& route) {
    WriteFile(dir / "body.xml", body);
    std::string line = "curl -s -S --max-time 30 --cacert " + ShellQuote((dir / "tls/ca.pem").string()) +
                       " -D " + ShellQuote((dir / "headers.txt").string()) + " -o " +
                       ShellQuote((dir / "reply.xml").string()) + " -H 'Content-Type: text/xml; charset=utf-8'" +
                       (session.empty() ? "" : " -H " + ShellQuote("X-Session: " + session)) +
                       (route.from.empty() ? "" : " --interface " + route.from) +
                       (route.extraHeader.empty() ? "" : " -H " + ShellQuote(route.extraHeader)) + " --data-binary @" +
                       ShellQuote((dir / "body.xml").string()) + " " + (route.to.empty() ? url() : route.to) +
                       "/service";
    HttpsAnswer answer;
    answer.exitCode = RunCommand(line).exitCode;
    answer.headers = ReadFile(dir / "headers.txt");
    answer.body = ReadFile(dir / "reply.xml");
    std::filesystem::remove(dir / "headers.txt");
    std::filesystem::remove(dir / "reply.xml");
    return answer;
  }
  static std::string Header(const HttpsAnswer& answer, const std::string& name) {
    std::string lower = answer.headers;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string key = "\n" + name + ": ";
    size_t at = lower.find(key);
    if (at == std::string::npos) return "";
    size_t end = answer.headers.find('\r', at + key.size());
    return answer.headers.substr(at + key.size(), end - at - key.size());
  }
  std::string signIn() { return Header(post(requests::Login("acme", "secret")), "x-session"); }

  PgSchema schema;
  TempDir dir;
  std::unique_ptr<ServiceProcess> a, b;
  ChildProcess nginx;
  std::string companyId;
  int port = 0;
};

bool Succeeded(const HttpsAnswer& answer) { return answer.body.find("result=\"success\"") != std::string::npos; }

TEST_F(DeploymentTest, EveryRequestTypeWorksThroughTlsAndTheInstancesShareTheWork) {
  std::string session = signIn();
  ASSERT_FALSE(session.empty());
  std::set<std::string> instances;
  for (int i = 0; i < 6; ++i) {
    auto saved = post(requests::Save(companyId, "V" + std::to_string(i) + ".html", "t", "t"), session);
    EXPECT_TRUE(Succeeded(saved)) << saved.body;
    instances.insert(Header(saved, "x-upstream"));
    auto listed = post(requests::List(companyId), session);
    EXPECT_NE(listed.body.find("V" + std::to_string(i) + ".html"), std::string::npos);
    instances.insert(Header(listed, "x-upstream"));
  }
  EXPECT_EQ(instances.size(), 2u) << "requests went to one instance only";
  std::string id = schema.query("SELECT min(id) FROM videos");
  EXPECT_TRUE(Succeeded(post(requests::Edit(id, companyId, "renamed"), session)));
  EXPECT_TRUE(Succeeded(post(requests::Delete(id, companyId), session)));
  EXPECT_TRUE(Succeeded(post(requests::CardChange(companyId, requests::CompanyCard{}), session)));
  EXPECT_TRUE(Succeeded(post(requests::Password(companyId, "secret", "newer"), session)));
}

TEST_F(DeploymentTest, TheTerminalToolTrustsThePrivateAuthorityItIsGivenAndNoOther) {
  const std::string cli = ShellQuote((BinDir() / "kestrova-cli").string());
  std::filesystem::create_directories(dir / "data");
  WriteFile(dir / "data/config.xml", ReadFile(kSource / "web/template/config.xml"));
  const std::string config = "KESTROVA_PASSWORD=secret " + cli + " config --service " + url() +
                             " --account acme --data " + ShellQuote((dir / "data").string());
  auto trusted = RunCommand(config + " --ca-file " + ShellQuote((dir / "tls/ca.pem").string()) + " 2>&1");
  EXPECT_EQ(trusted.exitCode, 0) << trusted.output;

  auto unknown = RunCommand(config + " 2>&1");
  EXPECT_NE(unknown.exitCode, 0);
  EXPECT_NE(unknown.output.find("的证书不受信任"), std::string::npos) << unknown.output;
  EXPECT_NE(unknown.output.find("--ca-file"), std::string::npos) << unknown.output;

  auto other = RunCommand(ShellQuote((kSource / "deploy/make-test-certificate").string()) + " " +
                          ShellQuote((dir / "other").string()));
  ASSERT_EQ(other.exitCode, 0);
  auto wrong = RunCommand(config + " --ca-file " + ShellQuote((dir / "other/ca.pem").string()) + " 2>&1");
  EXPECT_NE(wrong.exitCode, 0);
  EXPECT_NE(wrong.output.find("的证书不受信任（证书颁发机构文件："), std::string::npos) << wrong.output;
}

TEST_F(DeploymentTest, AnInstanceKilledUnderWritesLosesNoAcknowledgedWrite) {
  std::string session = signIn();
  ASSERT_FALSE(session.empty());
  std::vector<std::string> acknowledged;
  int failed = 0, failedAfterKill = 0;
  for (int i = 0; i < 60; ++i) {
    if (i == 20) a->process().stop(9);
    std::string name = "K" + std::to_string(i) + ".html";
    auto saved = post(requests::Save(companyId, name, "t", "t"), session);
    if (Succeeded(saved)) {
      acknowledged.push_back(name);
    } else {
      ++failed;
      if (i > 21) ++failedAfterKill;
    }
  }
  // At most the request in flight at the kill fails; the rest go to the
  // instance that is left.
  EXPECT_LE(failed, 1);
  EXPECT_EQ(failedAfterKill, 0);
  for (const std::string& name : acknowledged)
    EXPECT_EQ(schema.query("SELECT count(*) FROM videos WHERE file_name = '" + name + "'"), "1") << name;
}

}  // namespace

// Both instances trust nginx's X-Forwarded-For, and allow each client one
// password attempt (the bucket refills in a quarter of an hour, far beyond
// the test, so a slow machine changes nothing).
class DeploymentBehindTrustedProxyTest : public DeploymentTest {
 protected:
  std::vector<std::string> serveArgs() const override {
    return {"--trusted-proxy", "127.0.0.1", "--password-attempts-per-address", "0.001"};
  }
  static bool Busy(const HttpsAnswer& answer) { return answer.headers.rfind("HTTP/1.1 503", 0) == 0; }
};

TEST_F(DeploymentBehindTrustedProxyTest, EachClientBehindTheProxyHasItsOwnPasswordBudget) {
  // One client spends its attempt on each instance and more, writing a new
  // X-Forwarded-For each time: nginx puts the address it saw in its place.
  int busy = 0;
  for (int i = 0; i < 6; ++i) {
    auto answer = post(requests::Login("acme", "secret"), "",
                       {.from = "127.0.0.2", .extraHeader = "X-Forwarded-For: 10.0.0." + std::to_string(i)});
    ASSERT_EQ(answer.exitCode, 0);
    busy += Busy(answer);
  }
  EXPECT_GE(busy, 4) << "one attempt per instance, whatever the client wrote in its header";

  // Another client behind the same proxy still signs in.
  auto other = post(requests::Login("acme", "secret"), "", {.from = "127.0.0.3"});
  EXPECT_FALSE(Busy(other)) << other.headers;
  EXPECT_FALSE(Header(other, "x-session").empty()) << other.body;

  // The header means nothing from a client that is not the proxy.
  int direct = 0;
  for (int i = 0; i < 3; ++i)
    direct += Busy(post(requests::Login("acme", "secret"), "",
                        {.from = "127.0.0.4", .to = a->baseUrl(),
                         .extraHeader = "X-Forwarded-For: 10.1.0." + std::to_string(i)}));
  EXPECT_EQ(direct, 2) << "a forged X-Forwarded-For bought a fresh budget";
}
