// Runs the real kestrova-service for a test.
//
//   kestrova::test::ServiceProcess service({.seedDemo = true});
//   std::string session = service.login("demo", "demo");
//   auto reply = service.post(ServiceProcess::Envelope("<data>...</data>"), session);
//
// The service listens on a free loopback port with a fresh SQLite file in its
// own temporary folder; the constructor returns once GET /health answers and
// the destructor stops the process. Tests that use it need
// add_dependencies(<test> kestrova-service) so the program is built first.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "process.h"

namespace kestrova::test {

// "--name value" pairs for `kestrova-service add-company`: account, password,
// tvtype and any profile field by its reply name (name, tel, ftp_addr, ...).
using CompanyFields = std::vector<std::pair<std::string, std::string>>;

// What the service answered to one posted request text.
struct ServiceReply {
  int status = 0;            // HTTP status; 0 when nothing answered
  std::string body;          // the reply XML
  std::string replyCommand;  // X-Reply-Command
  std::string session;       // X-Session (set by a successful sign-in)
};

class ServiceProcess {
 public:
  struct Options {
    bool seedDemo = false;       // create the demo company (account/password "demo") first
    CompanyFields company{};     // if not empty: add this company first (see companyId())
    std::vector<std::string> serveArgs{};  // extra words for `serve`, e.g. {"--login-max-failures", "3"}
    std::string db{};  // a --db of the test's (e.g. a PostgreSQL schema shared by instances); default: own SQLite file
  };

  ServiceProcess() : ServiceProcess(Options{}) {}
  explicit ServiceProcess(Options options);
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  std::string baseUrl() const;  // "http://127.0.0.1:PORT"
  int port() const { return port_; }
  std::filesystem::path dbPath() const { return dbPath_; }
  std::string dbArgument() const { return db_.empty() ? "sqlite:" + dbPath_.string() : db_; }
  // Id of Options::company, as add-company printed it (empty if none).
  const std::string& companyId() const { return companyId_; }
  // Everything the service wrote to stderr so far (one line per request).
  std::string log() const { return process_.log(); }
  // The running program, for tests that signal it themselves.
  ChildProcess& process() { return process_; }

  // Adds a company to the same database while the service runs; returns its
  // id. Throws std::runtime_error if add-company fails.
  std::string addCompany(const CompanyFields& fields) const;

  // Stops the service and starts it again on the same port and database.
  void restart();

  // Posts a request text to /service, with X-Session when session is given.
  ServiceReply post(const std::string& requestText, const std::string& session = "") const;
  // Signs in with "loadMainFlash"; returns the session, or "" when refused.
  std::string login(const std::string& account, const std::string& password) const;

  // Wraps a "<data>...</data>" body in the envelope the desktop tool sends.
  static std::string Envelope(const std::string& dataBody);

 private:
  void start();

  TempDir dir_;
  std::filesystem::path dbPath_;
  std::string db_;
  std::vector<std::string> serveArgs_;
  std::string companyId_;
  int port_ = 0;
  ChildProcess process_;
};

}  // namespace kestrova::test
