// The HTTP layer is Boost.Beast on Boost.Asio: one event-loop thread holds
// every connection, so an idle or slow client costs a socket and a small
// buffer, never a thread. The loop only reads, parses and writes; request
// work (database calls, password hashing) runs on a small thread pool and its
// reply is handed back to the loop. Beast was chosen over the other event
// libraries Debian offers because its stream deadlines cover a whole read
// (headers, then body) instead of restarting with every byte, its parser
// keeps bytes that arrive beyond one request, so pipelined requests are
// answered in order, and it leaves the connection bound and the graceful
// close to us; see server/README.md.
#include "http_server.h"

#include <sys/resource.h>

// Boost 1.74's Asio uses std::exchange without including <utility>.
#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>

#include "request_log.h"
#include "site_files.h"

namespace kestrova::service {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

constexpr const char* kXmlType = "text/xml; charset=utf-8";
constexpr size_t kHeaderLimit = 16 * 1024;

// A reply body shared rather than copied: the same catalogue reply may be on
// its way to many connections at once.
using SharedText = std::shared_ptr<const std::string>;

SharedText Text(std::string text) { return std::make_shared<const std::string>(std::move(text)); }

std::string OrDash(const std::string& text) { return text.empty() ? "-" : EscapeForLog(text); }

std::string ElapsedText(std::chrono::steady_clock::time_point started) {
  auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1fms", ms);
  return elapsed;
}

// Serving many idle connections needs a descriptor for each; the usual soft
// limit of 1024 is far below the hard one.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Server;

// What a connection sends back for one request.
struct Answer {
  http::status status = http::status::ok;
  std::string contentType;
  SharedText body;
  std::vector<std::pair<std::string, std::string>> headers;
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket socket, Server& server);
  ~Connection();
  void start();

 private:
  void readHeader(std::chrono::milliseconds deadline);
  void onHeader(beast::error_code error);
  void readBody();
  void onRequest(beast::error_code error);
  void dispatch();
  void serveRequestText(http::request<http::string_body>&& request);
  void servePage(const http::request<http::string_body>& request);
  void send(Answer answer);
  void refuse(http::status status, const char* text);
  void closeGracefully();
  void drain();
  bool reserveBody(size_t bytes);
  void releaseBody();

  beast::tcp_stream stream_;
  Server& server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::span_body<const char>> response_;
  SharedText responseBody_;
  bool keepAlive_ = false;
  bool headOnly_ = false;
  unsigned version_ = 11;
  size_t bodyReserved_ = 0;  // this request's share of bodyBytesInFlight
  std::array<char, 4096> drainBuffer_{};
};

class Server {
 public:
  Server(ServiceHandler& handler, const HttpSettings& settings)
      : handler(handler),
        settings(settings),
        workers_(settings.workerThreads ? settings.workerThreads
                                        : std::max(4u, 2 * std::thread::hardware_concurrency())),
        acceptor_(io),
        retry_(io),
        signals_(io, SIGINT, SIGTERM) {}

  int run() {
    beast::error_code error;
    tcp::endpoint endpoint(asio::ip::make_address(settings.host, error), static_cast<unsigned short>(settings.port));
    if (!error) acceptor_.open(endpoint.protocol(), error);
    if (!error) acceptor_.set_option(asio::socket_base::reuse_address(true), error);
    if (!error) acceptor_.bind(endpoint, error);
    // A deep backlog: under a burst of new clients the kernel would
    // otherwise drop or reset connections the loop has not accepted yet.
    if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
      LogLine("kestrova-service: cannot listen on " + settings.host + ":" + std::to_string(settings.port) + ": " +
              error.message());
      return 1;
    }
    signals_.async_wait([this](beast::error_code waitError, int signal) {
      if (waitError) return;
      LogLine("kestrova-service: stopping on signal " + std::to_string(signal));
      acceptor_.close();
      io.stop();
    });
    accept();
    LogLine("kestrova-service: listening on http://" + settings.host + ":" + std::to_string(settings.port));
    io.run();
    // Requests already running finish (their replies go nowhere); queued
    // ones are dropped. Open connections close with the loop.
    workers_.stop();
    workers_.join();
    return 0;
  }

  template <typename Work>
  void toWorker(Work&& work) {
    asio::post(workers_, std::forward<Work>(work));
  }

  ServiceHandler& handler;
  const HttpSettings& settings;
  std::atomic<size_t> connections{0};
  std::atomic<size_t> bodyBytesInFlight{0};
  // Declared after what the connections use: the loop's queued handlers,
  // which own the connections, are destroyed with it.
  asio::io_context io{1};

 private:
  void accept() {
    acceptor_.async_accept(io, [this](beast::error_code error, tcp::socket socket) {
      if (error == asio::error::operation_aborted) return;
      if (error) {
        // Out of descriptors, typically: try again shortly instead of
        // spinning on the same error.
        retry_.expires_after(100ms);
        retry_.async_wait([this](beast::error_code waitError) {
          if (!waitError) accept();
        });
        return;
      }
      if (connections >= settings.maxConnections) {
        refuseBusy(socket);
      } else {
        std::make_shared<Connection>(std::move(socket), *this)->start();
      }
      accept();
    });
  }

  static void refuseBusy(tcp::socket& socket) {
    static const std::string busy =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\nRetry-After: 1\r\n\r\n";
    beast::error_code ignored;
    socket.non_blocking(true, ignored);
    socket.write_some(asio::buffer(busy), ignored);
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  }

  asio::thread_pool workers_;
  tcp::acceptor acceptor_;
  asio::steady_timer retry_;
  asio::signal_set signals_;
};

Connection::Connection(tcp::socket socket, Server& server) : stream_(std::move(socket)), server_(server) {
  ++server_.connections;
  beast::error_code ignored;
  stream_.socket().set_option(tcp::no_delay(true), ignored);
}

Connection::~Connection() {
  releaseBody();
  --server_.connections;
}

bool Connection::reserveBody(size_t bytes) {
  size_t inFlight = server_.bodyBytesInFlight.fetch_add(bytes) + bytes;
  if (inFlight > server_.settings.maxBodyBytesInFlight) {
    server_.bodyBytesInFlight -= bytes;
    return false;
  }
  bodyReserved_ = bytes;
  return true;
}

void Connection::releaseBody() {
  server_.bodyBytesInFlight -= bodyReserved_;
  bodyReserved_ = 0;
}

void Connection::start() { readHeader(server_.settings.headerDeadline); }

void Connection::readHeader(std::chrono::milliseconds deadline) {
  parser_.emplace();
  parser_->header_limit(kHeaderLimit);
  parser_->body_limit(server_.settings.maxRequestBytes * 4);
  stream_.expires_after(deadline);
  http::async_read_header(stream_, buffer_, *parser_,
                          [self = shared_from_this()](beast::error_code error, size_t) { self->onHeader(error); });
}

void Connection::onHeader(beast::error_code error) {
  if (error == http::error::end_of_stream || error == beast::error::timeout ||
      error == asio::error::operation_aborted || error == asio::error::connection_reset)
    return;  // the client left, or stayed silent past its deadline
  if (error == http::error::header_limit) return refuse(http::status::request_header_fields_too_large, "headers too large\n");
  if (error == http::error::body_limit) return refuse(http::status::payload_too_large, "request too large\n");
  if (error) return refuse(http::status::bad_request, "bad request\n");

  // A body without a stated length (chunked) may grow to the parser's limit.
  size_t bodyBytes = parser_->content_length() ? static_cast<size_t>(*parser_->content_length())
                     : parser_->chunked()       ? server_.settings.maxRequestBytes * 4
                                                : 0;
  if (!reserveBody(bodyBytes)) return refuse(http::status::service_unavailable, "busy, try again\n");

  auto& request = parser_->get();
  if (beast::iequals(request[http::field::expect], "100-continue") && !parser_->is_done()) {
    static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    stream_.expires_after(server_.settings.writeDeadline);
    asio::async_write(stream_, asio::buffer(kContinue), [self = shared_from_this()](beast::error_code e, size_t) {
      if (!e) self->readBody();
    });
    return;
  }
  readBody();
}

void Connection::readBody() {
  stream_.expires_after(server_.settings.bodyDeadline);
  http::async_read(stream_, buffer_, *parser_,
                   [self = shared_from_this()](beast::error_code error, size_t) { self->onRequest(error); });
}

void Connection::onRequest(beast::error_code error) {
  if (error == http::error::body_limit) return refuse(http::status::payload_too_large, "request too large\n");
  if (error) return;  // timed out or broken off mid-body: nothing to answer
  stream_.expires_never();
  dispatch();
}

void Connection::dispatch() {
  http::request<http::string_body> request = parser_->release();
  keepAlive_ = request.keep_alive();
  version_ = request.version();
  headOnly_ = request.method() == http::verb::head;
  std::string_view target(request.target().data(), request.target().size());
  std::string_view path = target.substr(0, target.find('?'));
  if (request.method() == http::verb::post && path == "/service") return serveRequestText(std::move(request));
  if (request.method() != http::verb::get && request.method() != http::verb::head) {
    LogLine(EscapeForLog(std::string_view(request.method_string().data(), request.method_string().size())) + " " +
            EscapeForLog(target) + " status=405");
    return send({http::status::method_not_allowed, "text/plain", Text("method not allowed\n"), {{"Allow", "GET, HEAD, POST"}}});
  }
  if (path == "/health") return send({http::status::ok, "text/plain", Text("ok"), {}});
  servePage(request);
}

void Connection::serveRequestText(http::request<http::string_body>&& request) {
  auto body = std::make_shared<std::string>(std::move(request.body()));
  auto sessionHeader = request["X-Session"];
  std::string session(sessionHeader.data(), sessionHeader.size());
  server_.toWorker([self = shared_from_this(), body, session] {
    auto started = std::chrono::steady_clock::now();
    const HttpSettings& settings = self->server_.settings;
    ServiceHandler& handler = self->server_.handler;
    ServiceOutcome outcome =
        body->size() > settings.maxRequestBytes
            ? handler.oversized(std::string_view(*body).substr(0, 4096), settings.maxRequestBytes)
            : handler.handle(*body, session);

    std::string line = "POST /service " + OrDash(outcome.messageType) + " company=" + OrDash(outcome.companyId) +
                       " result=" + OrDash(outcome.result) + " " + ElapsedText(started);
    if (!outcome.detail.empty() && outcome.result != "success") line += " (" + EscapeForLog(outcome.detail) + ")";
    LogLine(line);

    Answer answer{static_cast<http::status>(outcome.httpStatus), kXmlType,
                  outcome.reply ? outcome.reply : Text(std::string()), {}};
    if (!outcome.replyCommand.empty()) answer.headers.emplace_back("X-Reply-Command", outcome.replyCommand);
    if (!outcome.newSession.empty()) answer.headers.emplace_back("X-Session", outcome.newSession);
    if (outcome.sessionExpired) answer.headers.emplace_back("X-Session-Expired", "1");
    asio::post(self->stream_.get_executor(), [self, answer = std::move(answer)]() mutable { self->send(std::move(answer)); });
  });
}

void Connection::servePage(const http::request<http::string_body>& request) {
  std::string target(request.target().data(), request.target().size());
  std::string method(request.method_string().data(), request.method_string().size());
  // Files are read on a worker so a slow disk never holds up the loop.
  server_.toWorker([self = shared_from_this(), target, method] {
    SitePath page = ResolveSitePath(self->server_.settings.siteDir, target);
    Answer answer{http::status::not_found, "text/plain", Text("not found\n"), {}};
    if (page.verdict == SitePath::Verdict::Refused) {
      answer = {http::status::bad_request, "text/plain", Text("bad path\n"), {}};
    } else if (page.verdict == SitePath::Verdict::Found) {
      if (auto content = ReadWholeFile(page.file))
        answer = {http::status::ok, SiteContentType(page.file), Text(std::move(*content)), {}};
    }
    LogLine(EscapeForLog(method) + " " + EscapeForLog(target) + " status=" +
            std::to_string(static_cast<int>(answer.status)));
    asio::post(self->stream_.get_executor(), [self, answer = std::move(answer)]() mutable { self->send(std::move(answer)); });
  });
}

void Connection::send(Answer answer) {
  // The request's body is gone by now (handled, or never to be read).
  releaseBody();
  responseBody_ = std::move(answer.body);
  response_ = {};
  response_.version(version_);
  response_.result(answer.status);
  response_.set(http::field::content_type, answer.contentType);
  for (const auto& [name, value] : answer.headers) response_.set(name, value);
  response_.body() = beast::span<const char>(responseBody_->data(), headOnly_ ? 0 : responseBody_->size());
  response_.content_length(responseBody_->size());
  response_.keep_alive(keepAlive_);
  stream_.expires_after(server_.settings.writeDeadline);
  http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code error, size_t) {
    self->responseBody_.reset();
    if (error) return;
    if (!self->keepAlive_) return self->closeGracefully();
    self->readHeader(self->server_.settings.keepAliveIdle);
  });
}

// An answer to a request that cannot be read on: after it the connection
// closes, since the rest of the stream cannot be trusted to start a request.
void Connection::refuse(http::status status, const char* text) {
  keepAlive_ = false;
  headOnly_ = false;
  send({status, "text/plain", Text(text), {}});
}

// Closing a socket that still has unread input makes the kernel send a
// reset, which can destroy the reply still on its way to the client. So the
// sending side is shut first and whatever the client still sends is read and
// dropped until it closes too (or a short deadline passes).
void Connection::closeGracefully() {
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream_.expires_after(2s);
  drain();
}

void Connection::drain() {
  stream_.async_read_some(asio::buffer(drainBuffer_), [self = shared_from_this()](beast::error_code error, size_t) {
    if (!error) self->drain();
  });
}

}  // namespace

int RunHttpServer(ServiceHandler& handler, const HttpSettings& settings) {
  RaiseDescriptorLimit();
  Server server(handler, settings);
  return server.run();
}

}  // namespace kestrova::service
