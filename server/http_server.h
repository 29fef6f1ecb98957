// The HTTP front: POST /service (request texts), GET /health, and the
// service's own web pages served from a folder.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

#include "client_address.h"
#include "service_handler.h"

namespace kestrova::service {

struct HttpSettings {
  std::string host = "127.0.0.1";
  int port = 8640;
  std::filesystem::path siteDir;  // empty: no pages
  // Larger request texts get a failure reply; the tool never sends more than
  // a few kilobytes. Bodies beyond four times this are refused unread.
  size_t maxRequestBytes = 1 << 20;
  // Connections beyond this are answered 503 and closed at once, so a flood
  // of idle sockets cannot exhaust the process's file descriptors.
  size_t maxConnections = 4000;
  // Request body bytes received and not yet answered, all connections
  // together. A request whose body takes the total past this is answered
  // 503, so many connections sending large bodies at once cannot exhaust
  // memory. Only bytes that arrived count, never a declared length.
  size_t maxBodyBytesInFlight = 256u << 20;
  // Whole-phase deadlines, counted from the start of the phase, not renewed
  // by each byte that trickles in: a client that sends one header byte every
  // second is cut off all the same.
  std::chrono::milliseconds headerDeadline = std::chrono::seconds(10);
  std::chrono::milliseconds bodyDeadline = std::chrono::seconds(30);
  std::chrono::milliseconds writeDeadline = std::chrono::seconds(30);
  // How long a kept-alive connection may wait for its next request.
  std::chrono::milliseconds keepAliveIdle = std::chrono::seconds(5);
  // Sign-ins and password changes (each a password hash, a fraction of a
  // second of a core) run on a lane of their own, one thread per core. At
  // most this many wait or run there; beyond it they are answered "busy" at
  // once, so a flood of sign-ins cannot queue without end.
  size_t maxPasswordChecksWaiting = 32;
  // Password attempts one client address may make a second (twice that at
  // once); further ones are answered "busy". 0: no limit.
  double passwordAttemptsPerSecondPerAddress = 10;
  // Proxies (nginx in front of several instances) whose X-Forwarded-For
  // names the client for that limit; from anyone else the header is
  // ignored. Without them, every client behind a proxy shares its address.
  TrustedProxies trustedProxies;
  // On SIGTERM or SIGINT: how long requests already read may take to finish
  // and send their replies before the service exits anyway.
  std::chrono::milliseconds stopDrainDeadline = std::chrono::seconds(5);
  // Threads that carry out the other requests (database work); the
  // connections themselves hold none. 0: twice the cores, at least four.
  unsigned workerThreads = 0;
};

// Serves until a SIGINT or SIGTERM arrives, then answers the requests it has
// read (see stopDrainDeadline). Returns the process exit code.
int RunHttpServer(ServiceHandler& handler, const HttpSettings& settings);

}  // namespace kestrova::service
