// The HTTP front: POST /service (request texts), GET /health, and the
// service's own web pages served from a folder.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

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
  // Request bodies being read or handled, all connections together. A body
  // that would take the total past this is answered 503 before it is read,
  // so many connections sending large bodies at once cannot exhaust memory.
  size_t maxBodyBytesInFlight = 256u << 20;
  // Whole-phase deadlines, counted from the start of the phase, not renewed
  // by each byte that trickles in: a client that sends one header byte every
  // second is cut off all the same.
  std::chrono::milliseconds headerDeadline = std::chrono::seconds(10);
  std::chrono::milliseconds bodyDeadline = std::chrono::seconds(30);
  std::chrono::milliseconds writeDeadline = std::chrono::seconds(30);
  // How long a kept-alive connection may wait for its next request.
  std::chrono::milliseconds keepAliveIdle = std::chrono::seconds(5);
  // Threads that carry out requests (database work, password hashing); the
  // connections themselves hold none. 0: twice the cores, at least four.
  unsigned workerThreads = 0;
};

// Serves until a SIGINT or SIGTERM arrives. Returns the process exit code.
int RunHttpServer(ServiceHandler& handler, const HttpSettings& settings);

}  // namespace kestrova::service
