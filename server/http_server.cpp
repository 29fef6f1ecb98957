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
#include <sys/syscall.h>
#include <unistd.h>

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

#include "address_rate_limit.h"
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

// The path and query of a request target. A target may come in absolute
// form ("http://host/service"), which HTTP/1.1 servers must accept too.
std::string_view OriginForm(std::string_view target) {
  for (std::string_view scheme : {"http://", "https://"}) {
    std::string_view start = target.substr(0, scheme.size());
    if (beast::iequals(beast::string_view(start.data(), start.size()), beast::string_view(scheme.data(), scheme.size()))) {
      size_t slash = target.find('/', scheme.size());
      return slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
  }
  return target;
}

// Password hashing runs below everything else in CPU priority: on a busy
// machine a list (a fraction of a millisecond) goes first, and sign-ins take
// the time that is left instead of the other way round.
void LowerThisThreadsPriority() {
  thread_local bool lowered = false;
  if (lowered) return;
  lowered = true;
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
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
  void readBodySome();
  void onBodySome(beast::error_code error);
  void dispatch();
  void serveRequestText(http::request<http::string_body>&& request);
  void carryOut(std::shared_ptr<const ParsedRequest> parsed, const std::string& session,
                std::chrono::steady_clock::time_point started);
  void answer(const ServiceOutcome& outcome, std::chrono::steady_clock::time_point started);
  void servePage(std::string target, std::string method);
  void send(Answer answer);
  void refuse(http::status status, const char* text);
  void closeGracefully();
  void drain();
  bool chargeBody(size_t bufferedBytes);
  void releaseBody();
  void endRequest();

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
  std::string peer_;         // the connection's address (a proxy's, behind one)
  bool running_ = false;     // a request of ours is being carried out or answered
  std::array<char, 4096> drainBuffer_{};
};

class Server {
 public:
  Server(ServiceHandler& handler, const HttpSettings& settings)
      : handler(handler),
        settings(settings),
        passwordAttempts(settings.passwordAttemptsPerSecondPerAddress,
                         2 * settings.passwordAttemptsPerSecondPerAddress),
        workers_(settings.workerThreads ? settings.workerThreads
                                        : std::max(4u, 2 * std::thread::hardware_concurrency())),
        hashing_(std::max(2u, std::thread::hardware_concurrency())),
        acceptor_(io),
        retry_(io),
        drainTimer_(io),
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
      beginStop();
    });
    accept();
    LogLine("kestrova-service: listening on http://" + settings.host + ":" + std::to_string(settings.port));
    io.run();
    // Past the drain deadline: requests still running finish (their replies
    // go nowhere); queued ones are dropped. Open connections close with the
    // loop.
    workers_.stop();
    hashing_.stop();
    workers_.join();
    hashing_.join();
    return 0;
  }

  template <typename Work>
  void toWorker(Work&& work) {
    asio::post(workers_, std::forward<Work>(work));
  }

  // Password work runs in a lane of its own, so sign-ins never hold up the
  // cheap requests behind them. False when too many wait already: the
  // caller answers "busy" at once rather than queueing without end.
  template <typename Work>
  bool toHashingLane(Work&& work) {
    if (hashingWaiting.fetch_add(1) >= settings.maxPasswordChecksWaiting) {
      --hashingWaiting;
      return false;
    }
    asio::post(hashing_, [this, work = std::forward<Work>(work)]() mutable {
      LowerThisThreadsPriority();
      work();
      --hashingWaiting;
    });
    return true;
  }

  // Loop thread only: a request has been read and is being carried out, or
  // its reply is being written.
  void requestStarted() { ++requestsRunning_; }
  void requestEnded() { --requestsRunning_; }
  bool stopping() const { return stopping_; }

  ServiceHandler& handler;
  const HttpSettings& settings;
  std::atomic<size_t> connections{0};
  std::atomic<size_t> bodyBytesInFlight{0};
  std::atomic<size_t> hashingWaiting{0};  // password requests queued or running
  AddressRateLimit passwordAttempts;
  // Declared after what the connections use: the loop's queued handlers,
  // which own the connections, are destroyed with it.
  asio::io_context io{1};

 private:
  // Stops taking connections and lets the requests already read finish and
  // write their replies, for at most the drain time; then the loop ends.
  // A client whose change was committed hears so instead of finding the
  // connection closed.
  void beginStop() {
    stopping_ = true;
    beast::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
    drainUntil_ = std::chrono::steady_clock::now() + settings.stopDrainDeadline;
    waitForDrain();
  }

  void waitForDrain() {
    if (requestsRunning_ == 0 || std::chrono::steady_clock::now() >= drainUntil_) return io.stop();
    drainTimer_.expires_after(10ms);
    drainTimer_.async_wait([this](beast::error_code error) {
      if (!error) waitForDrain();
    });
  }

  void accept() {
    acceptor_.async_accept(io, [this](beast::error_code error, tcp::socket socket) {
      if (error == asio::error::operation_aborted || stopping_) return;
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
  asio::thread_pool hashing_;
  tcp::acceptor acceptor_;
  asio::steady_timer retry_;
  asio::steady_timer drainTimer_;
  asio::signal_set signals_;
  bool stopping_ = false;
  size_t requestsRunning_ = 0;
  std::chrono::steady_clock::time_point drainUntil_;
};

Connection::Connection(tcp::socket socket, Server& server) : stream_(std::move(socket)), server_(server) {
  ++server_.connections;
  beast::error_code ignored;
  stream_.socket().set_option(tcp::no_delay(true), ignored);
  auto remote = stream_.socket().remote_endpoint(ignored);
  if (!ignored) peer_ = remote.address().to_string();
}

Connection::~Connection() {
  releaseBody();
  endRequest();
  --server_.connections;
}

// Charges the body bytes received so far against the budget of all
// connections. What is charged is what has arrived, not what the headers
// promise: a client that declares a large body and sends nothing holds no
// share of the budget, so a handful of them cannot keep others out.
bool Connection::chargeBody(size_t bufferedBytes) {
  if (bufferedBytes <= bodyReserved_) return true;
  size_t more = bufferedBytes - bodyReserved_;
  size_t inFlight = server_.bodyBytesInFlight.fetch_add(more) + more;
  if (inFlight > server_.settings.maxBodyBytesInFlight) {
    server_.bodyBytesInFlight -= more;
    return false;
  }
  bodyReserved_ = bufferedBytes;
  return true;
}

void Connection::endRequest() {
  if (!running_) return;
  running_ = false;
  server_.requestEnded();
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
  if (server_.stopping()) return refuse(http::status::service_unavailable, "stopping, try again\n");

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

// The body is read piece by piece so that each piece is charged as it
// arrives; the deadline covers the whole body.
void Connection::readBody() {
  stream_.expires_after(server_.settings.bodyDeadline);
  readBodySome();
}

void Connection::readBodySome() {
  if (parser_->is_done()) {
    stream_.expires_never();
    return dispatch();
  }
  http::async_read_some(stream_, buffer_, *parser_,
                        [self = shared_from_this()](beast::error_code error, size_t) { self->onBodySome(error); });
}

void Connection::onBodySome(beast::error_code error) {
  if (error == http::error::body_limit) return refuse(http::status::payload_too_large, "request too large\n");
  if (error) return;  // timed out or broken off mid-body: nothing to answer
  if (!chargeBody(parser_->get().body().size())) return refuse(http::status::service_unavailable, "busy, try again\n");
  readBodySome();
}

void Connection::dispatch() {
  running_ = true;
  server_.requestStarted();
  http::request<http::string_body> request = parser_->release();
  keepAlive_ = request.keep_alive();
  version_ = request.version();
  headOnly_ = request.method() == http::verb::head;
  std::string_view target = OriginForm(std::string_view(request.target().data(), request.target().size()));
  std::string_view path = target.substr(0, target.find('?'));
  if (request.method() == http::verb::post && path == "/service") return serveRequestText(std::move(request));
  if (request.method() != http::verb::get && request.method() != http::verb::head) {
    LogLine(EscapeForLog(std::string_view(request.method_string().data(), request.method_string().size())) + " " +
            EscapeForLog(target) + " status=405");
    return send({http::status::method_not_allowed, "text/plain", Text("method not allowed\n"), {{"Allow", "GET, HEAD, POST"}}});
  }
  if (path == "/health") return send({http::status::ok, "text/plain", Text("ok"), {}});
  servePage(std::string(target), std::string(request.method_string().data(), request.method_string().size()));
}

void Connection::serveRequestText(http::request<http::string_body>&& request) {
  auto body = std::make_shared<std::string>(std::move(request.body()));
  auto sessionHeader = request["X-Session"];
  std::string session(sessionHeader.data(), sessionHeader.size());
  auto forwardedHeader = request["X-Forwarded-For"];
  std::string forwardedFor(forwardedHeader.data(), forwardedHeader.size());
  server_.toWorker([self = shared_from_this(), body, session, forwardedFor = std::move(forwardedFor)] {
    auto started = std::chrono::steady_clock::now();
    const HttpSettings& settings = self->server_.settings;
    ServiceHandler& handler = self->server_.handler;
    if (body->size() > settings.maxRequestBytes)
      return self->answer(handler.oversized(std::string_view(*body).substr(0, 4096), settings.maxRequestBytes),
                          started);
    auto parsed = std::make_shared<const ParsedRequest>(ServiceHandler::read(*body));
    if (!ServiceHandler::hashesPassword(*parsed)) return self->carryOut(parsed, session, started);
    Server& server = self->server_;
    // Only password work is limited per client, so only it asks who that is.
    std::string client = ClientAddress(self->peer_, forwardedFor, settings.trustedProxies);
    bool queued = server.passwordAttempts.allow(client) &&
                  server.toHashingLane([self, parsed, session, started] { self->carryOut(parsed, session, started); });
    if (!queued) self->answer(ServiceHandler::busy(*parsed), started);
  });
}

void Connection::carryOut(std::shared_ptr<const ParsedRequest> parsed, const std::string& session,
                          std::chrono::steady_clock::time_point started) {
  answer(server_.handler.carryOut(*parsed, session), started);
}

// Logs the outcome and hands its reply to the loop. Runs on a worker.
void Connection::answer(const ServiceOutcome& outcome, std::chrono::steady_clock::time_point started) {
  std::string line = "POST /service " + OrDash(outcome.messageType) + " company=" + OrDash(outcome.companyId) +
                     " result=" + OrDash(outcome.result) + " " + ElapsedText(started);
  if (!outcome.detail.empty() && outcome.result != "success") line += " detail=" + EscapeForLog(outcome.detail);
  LogLine(line);

  Answer reply{static_cast<http::status>(outcome.httpStatus), kXmlType,
               outcome.reply ? outcome.reply : Text(std::string()), {}};
  if (!outcome.replyCommand.empty()) reply.headers.emplace_back("X-Reply-Command", outcome.replyCommand);
  if (!outcome.newSession.empty()) reply.headers.emplace_back("X-Session", outcome.newSession);
  if (outcome.sessionExpired) reply.headers.emplace_back("X-Session-Expired", "1");
  asio::post(stream_.get_executor(),
             [self = shared_from_this(), reply = std::move(reply)]() mutable { self->send(std::move(reply)); });
}

void Connection::servePage(std::string target, std::string method) {
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
  // A stopping service closes each connection after its reply.
  if (server_.stopping()) keepAlive_ = false;
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
    self->endRequest();
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
