// The HTTP front: POST /service (request texts), GET /health, and the
// service's own web pages served from a folder.
#pragma once

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
  // a few kilobytes.
  size_t maxRequestBytes = 1 << 20;
};

// Serves until a SIGINT or SIGTERM arrives. Returns the process exit code.
int RunHttpServer(ServiceHandler& handler, const HttpSettings& settings);

}  // namespace kestrova::service
