// kestrova-service: the back end the desktop tool signs in to and keeps its
// catalogue and company profile in.
//
//   kestrova-service serve --listen HOST:PORT --db sqlite:PATH|postgresql://...
//                          [--site DIR] [--login-max-failures N] [--login-lockout-seconds S]
//                          [--header-deadline-seconds S] [--password-attempts-per-address N]
//                          [--trusted-proxy ADDRESS[/BITS],...]
//   kestrova-service add-company --db ... --account A --password P [--tvtype T] [--name ...]
//   kestrova-service seed-demo --db ... [--sample-videos 0] [--ftp-port N] [--http-port N]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "admin_commands.h"
#include "command_line.h"
#include "http_server.h"
#include "login_throttle.h"
#include "password_hash.h"
#include "service_handler.h"
#include "session_registry.h"
#include "service_state.h"
#include "store.h"

namespace ks = kestrova::service;
namespace fs = std::filesystem;

namespace {

int Usage() {
  std::cerr << "usage:\n"
               "  kestrova-service serve --listen 127.0.0.1:8640 --db sqlite:PATH|postgresql://... [--site DIR]\n"
               "                         [--login-max-failures 5] [--login-lockout-seconds 900]\n"
               "                         [--header-deadline-seconds 10] [--password-attempts-per-address 10]\n"
               "                         [--trusted-proxy ADDRESS[/BITS],...]\n"
               "                         [--db-pool-size 8] [--db-statement-timeout-ms 10000]\n"
               "  kestrova-service add-company --db ... --account A --password P [--tvtype SETUP]\n"
               "                         [--name ... --title ... --tel ... --ftp_addr ... (any profile field)]\n"
               "  kestrova-service seed-demo --db ... [--sample-videos 0] [--ftp-port N] [--http-port N]\n";
  return 2;
}

fs::path ExecutableDir() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

// The service's pages: --site, else "site" beside the executable (an
// installed layout), else the source tree the program was built from.
fs::path FindSiteDir(const ks::CommandLine& options) {
  if (options.has("site")) return options.value("site");
  fs::path besideExe = ExecutableDir() / "site";
  if (fs::is_directory(besideExe)) return besideExe;
  fs::path sourceTree = KESTROVA_SOURCE_SITE_DIR;
  if (fs::is_directory(sourceTree)) return sourceTree;
  return {};
}

void ParseListen(const std::string& listen, ks::HttpSettings& settings) {
  size_t colon = listen.rfind(':');
  if (colon == std::string::npos) throw std::invalid_argument("--listen must be HOST:PORT");
  settings.host = listen.substr(0, colon);
  int port = std::stoi(listen.substr(colon + 1));
  if (port < 0 || port > 65535) throw std::invalid_argument("--listen port out of range");
  settings.port = port;
}

int Serve(const ks::CommandLine& options) {
  ks::HttpSettings settings;
  ParseListen(options.value("listen", "127.0.0.1:8640"), settings);
  settings.siteDir = FindSiteDir(options);
  int headerDeadline = std::stoi(options.value("header-deadline-seconds", "10"));
  if (headerDeadline < 1) throw std::invalid_argument("--header-deadline-seconds must be at least 1");
  settings.headerDeadline = std::chrono::seconds(headerDeadline);
  settings.passwordAttemptsPerSecondPerAddress = std::stod(options.value("password-attempts-per-address", "10"));
  if (settings.passwordAttemptsPerSecondPerAddress < 0)
    throw std::invalid_argument("--password-attempts-per-address must be 0 (no limit) or more");
  settings.trustedProxies = ks::TrustedProxies::Parse(options.value("trusted-proxy", ""));
  ks::ThrottlePolicy policy;
  policy.maxFailures = std::stoi(options.value("login-max-failures", std::to_string(policy.maxFailures)));
  policy.lockout = std::chrono::seconds(
      std::stoll(options.value("login-lockout-seconds", std::to_string(policy.lockout.count()))));
  if (policy.maxFailures < 1) throw std::invalid_argument("--login-max-failures must be at least 1");

  ks::StoreOptions storeOptions;
  storeOptions.poolSize = std::stoi(options.value("db-pool-size", std::to_string(storeOptions.poolSize)));
  if (storeOptions.poolSize < 1) throw std::invalid_argument("--db-pool-size must be at least 1");
  storeOptions.statementTimeout = std::chrono::milliseconds(std::stoll(
      options.value("db-statement-timeout-ms", std::to_string(storeOptions.statementTimeout.count()))));
  if (storeOptions.statementTimeout.count() < 0)
    throw std::invalid_argument("--db-statement-timeout-ms must be 0 (none) or more");

  ks::InitCrypto();
  ks::PrepareDummyHash();
  ks::ServiceState state = ks::OpenServiceState(options.required("db"), storeOptions, policy);
  ks::ServiceHandler handler(*state.store, *state.sessions, *state.throttle);
  return ks::RunHttpServer(handler, settings);
}

int AddCompany(const ks::CommandLine& options) {
  auto store = ks::OpenStore(options.required("db"));
  std::int64_t id = store->addCompany(ks::CompanyFromOptions(options.all()));
  std::cout << id << std::endl;
  return 0;
}

// A TCP port number, kept as the text the profile stores.
std::string PortOption(const ks::CommandLine& options, const std::string& name, const std::string& fallback) {
  std::string text = options.value(name, fallback);
  char* end = nullptr;
  long port = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || port < 1 || port > 65535)
    throw std::invalid_argument("--" + name + " takes a port number from 1 to 65535");
  return std::to_string(port);
}

int SeedDemo(const ks::CommandLine& options) {
  auto store = ks::OpenStore(options.required("db"));
  bool created = false;
  std::string samples = options.value("sample-videos", "1");
  if (samples != "0" && samples != "1") throw std::invalid_argument("--sample-videos must be 0 or 1");
  ks::DemoSitePorts ports;
  ports.ftp = PortOption(options, "ftp-port", ports.ftp);
  ports.http = PortOption(options, "http-port", ports.http);
  std::int64_t id = ks::SeedDemoCompany(*store, created, samples == "1", ports);
  std::cerr << (created ? "seed-demo: created the demo company " : "seed-demo: the demo company exists: ") << id
            << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  try {
    ks::CommandLine options(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "serve") return Serve(options);
    if (command == "add-company") return AddCompany(options);
    if (command == "seed-demo") return SeedDemo(options);
    return Usage();
  } catch (const std::invalid_argument& e) {
    std::cerr << "kestrova-service " << command << ": " << e.what() << std::endl;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "kestrova-service " << command << ": " << e.what() << std::endl;
    return 1;
  }
}
