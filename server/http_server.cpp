#include "http_server.h"

#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace kestrova::service {
namespace {

constexpr const char* kXmlType = "text/xml; charset=utf-8";

// One line per request, written in one call so lines from the worker threads
// do not interleave.
void LogLine(const std::string& line) {
  std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

void ServeRequestText(ServiceHandler& handler, const HttpSettings& settings, const httplib::Request& req,
                      httplib::Response& res) {
  auto started = std::chrono::steady_clock::now();
  ServiceOutcome outcome = req.body.size() > settings.maxRequestBytes
                               ? handler.oversized(std::string_view(req.body).substr(0, 4096), settings.maxRequestBytes)
                               : handler.handle(req.body, req.get_header_value("X-Session"));
  res.status = outcome.httpStatus;
  if (!outcome.replyCommand.empty()) res.set_header("X-Reply-Command", outcome.replyCommand);
  if (!outcome.newSession.empty()) res.set_header("X-Session", outcome.newSession);
  if (outcome.sessionExpired) res.set_header("X-Session-Expired", "1");
  res.set_content(outcome.body, kXmlType);

  auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1fms", ms);
  std::string line = "POST /service " + OrDash(outcome.messageType) + " company=" + OrDash(outcome.companyId) +
                     " result=" + OrDash(outcome.result) + " " + elapsed;
  if (!outcome.detail.empty() && outcome.result != "success") line += " (" + outcome.detail + ")";
  LogLine(line);
}

// The library answers a client that accepts "br" (Qt's does) with brotli at
// its highest quality, which takes seconds for a large reply: a catalogue of
// 5000 videos took 8 s against 0.1 s for gzip. Such clients are offered
// gzip and deflate alone. The library hands handlers the request as const,
// but the object is its own and not const, so the header may be edited here,
// before it picks the reply's encoding.
void LeaveOutBrotli(const httplib::Request& request) {
  auto& req = const_cast<httplib::Request&>(request);
  auto [first, last] = req.headers.equal_range("Accept-Encoding");
  for (auto it = first; it != last; ++it) {
    std::string kept;
    size_t start = 0;
    while (start <= it->second.size()) {
      size_t comma = it->second.find(',', start);
      std::string token = it->second.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      token.erase(0, token.find_first_not_of(' '));
      if (!token.empty() && token.rfind("br", 0) != 0) kept += (kept.empty() ? "" : ", ") + token;
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    it->second = kept.empty() ? "identity" : kept;
  }
}

void MountSite(httplib::Server& server, const std::filesystem::path& siteDir) {
  if (siteDir.empty()) return;
  // The pages are UTF-8 Chinese; say so, and serve the ".php" page as the
  // HTML it is (its address is what the tool links to).
  for (const char* ext : {"html", "htm", "php"})
    server.set_file_extension_and_mimetype_mapping(ext, "text/html; charset=utf-8");
  if (!server.set_mount_point("/", siteDir.string()))
    LogLine("warning: site folder " + siteDir.string() + " not found; pages are not served");
}

}  // namespace

int RunHttpServer(ServiceHandler& handler, const HttpSettings& settings) {
  // Signals are taken by a thread of our own that stops the server; the
  // worker threads started below inherit the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  httplib::Server server;
  // Bodies beyond this are refused by the library before they are read;
  // between maxRequestBytes and this the handler answers in the protocol.
  server.set_payload_max_length(settings.maxRequestBytes * 4);
  // The tool and load balancers keep connections open; the library's
  // default of five requests per connection would reconnect needlessly.
  server.set_keep_alive_max_count(1000);
  // Replies go out as headers and body in separate writes; with Nagle's
  // algorithm on, the body waits for the client's delayed ACK (~40 ms a
  // request on loopback).
  server.set_tcp_nodelay(true);
  server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    LeaveOutBrotli(req);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.Post("/service", [&](const httplib::Request& req, httplib::Response& res) {
    ServeRequestText(handler, settings, req, res);
  });
  server.Get("/health", [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
  MountSite(server, settings.siteDir);
  server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    if (req.path != "/service") LogLine(req.method + " " + req.path + " status=" + std::to_string(res.status));
  });

  if (!server.bind_to_port(settings.host.c_str(), settings.port)) {
    LogLine("kestrova-service: cannot listen on " + settings.host + ":" + std::to_string(settings.port));
    return 1;
  }
  std::atomic<bool> stoppedBySignal{false};
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    stoppedBySignal = true;
    LogLine("kestrova-service: stopping on signal " + std::to_string(signal));
    server.stop();
  });
  LogLine("kestrova-service: listening on http://" + settings.host + ":" + std::to_string(settings.port));
  bool ok = server.listen_after_bind();
  // listen ended by itself (not through the stopper): wake the stopper up.
  if (!stoppedBySignal) pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return ok ? 0 : 1;
}

}  // namespace kestrova::service
