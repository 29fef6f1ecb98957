#include "service_fixture.h"

#include <httplib.h>

#include <stdexcept>
#include <thread>

namespace kestrova::test {
namespace {

std::filesystem::path ServiceProgram() { return BinDir() / "kestrova-service"; }

std::string RunAdmin(const std::string& command, const std::string& db, const CompanyFields& fields) {
  std::string line = ShellQuote(ServiceProgram().string()) + " " + command + " --db " + ShellQuote(db);
  for (const auto& [name, value] : fields) line += " --" + name + " " + ShellQuote(value);
  CommandResult result = RunCommand(line);
  if (result.exitCode != 0)
    throw std::runtime_error("kestrova-service " + command + " failed: " + result.output);
  return result.output;
}

}  // namespace

ServiceProcess::ServiceProcess(Options options)
    : dbPath_(dir_ / "service.db"), db_(std::move(options.db)), serveArgs_(std::move(options.serveArgs)) {
  if (options.seedDemo) RunAdmin("seed-demo", dbArgument(), {});
  if (!options.company.empty()) companyId_ = addCompany(options.company);
  port_ = FreeTcpPort();
  start();
}

ServiceProcess::~ServiceProcess() { process_.stop(); }

std::string ServiceProcess::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string ServiceProcess::addCompany(const CompanyFields& fields) const {
  std::string output = RunAdmin("add-company", dbArgument(), fields);
  // add-company prints the new id alone on its last line.
  std::string id;
  size_t begin = 0;
  while (begin < output.size()) {
    size_t end = output.find('\n', begin);
    if (end == std::string::npos) end = output.size();
    if (end > begin) id = output.substr(begin, end - begin);
    begin = end + 1;
  }
  return id;
}

void ServiceProcess::start() {
  std::vector<std::string> argv{ServiceProgram().string(), "serve", "--listen",
                                "127.0.0.1:" + std::to_string(port_), "--db", dbArgument()};
  argv.insert(argv.end(), serveArgs_.begin(), serveArgs_.end());
  process_ = ChildProcess(argv, dir_ / "service.log");

  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(std::chrono::milliseconds(200));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!process_.running()) throw std::runtime_error("kestrova-service ended at start:\n" + process_.log());
    if (auto res = client.Get("/health"); res && res->status == 200) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  throw std::runtime_error("kestrova-service did not answer /health:\n" + process_.log());
}

void ServiceProcess::restart() {
  process_.stop();
  start();
}

ServiceReply ServiceProcess::post(const std::string& requestText, const std::string& session) const {
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(std::chrono::seconds(30));
  httplib::Headers headers;
  if (!session.empty()) headers.emplace("X-Session", session);
  ServiceReply reply;
  auto res = client.Post("/service", headers, requestText, "text/xml; charset=utf-8");
  if (!res) return reply;
  reply.status = res->status;
  reply.body = res->body;
  reply.replyCommand = res->get_header_value("X-Reply-Command");
  reply.session = res->get_header_value("X-Session");
  return reply;
}

std::string ServiceProcess::login(const std::string& account, const std::string& password) const {
  return post(Envelope("<data><msgType>loadMainFlash</msgType><msg><item account=\"" + account + "\" password =\"" +
                       password + "\" /></msg></data>"))
      .session;
}

std::string ServiceProcess::Envelope(const std::string& dataBody) {
  return "<invoke name=\"ReceiveService\" returntype=\"xml\"><arguments><string>" + dataBody +
         "</string></arguments></invoke>";
}

}  // namespace kestrova::test
