// The change scan and the upload run for a terminal (kestrova-cli scan and
// upload): the same connection, scan and worker as the desktop tool, with
// message boxes and the status line written to the terminal.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "site_protocol.h"

namespace kestrova::sync {

struct SiteOptions {
  std::string host;
  std::string port = "21";
  std::string user;
  std::string password;
  SiteProtocol protocol = SiteProtocol::Ftp;
  std::string keyFile;
  std::string caFile;
  // Certificates and host keys to trust although they fail their checks:
  // the terminal never asks, so without one of these (or a known-hosts
  // entry) an unknown server is refused with its fingerprint.
  std::vector<std::string> acceptedFingerprints;
  std::string root = "/";
  std::string dataFolder;
};

// Prints one line per changed file (name, local time, local path, server
// path, server time, state, tab-separated, after a header line). Returns 0,
// or 1 when the site cannot be reached or the scan fails (the reason on err).
int RunScan(const SiteOptions& options, std::ostream& out, std::ostream& err);

// Scans and uploads. progressBar: redraw one progress line on err (for a
// terminal) instead of printing each finished file. Returns 0 when every
// listed file was uploaded, 1 otherwise with the reason on err.
int RunUpload(const SiteOptions& options, bool progressBar, std::ostream& out, std::ostream& err);

}  // namespace kestrova::sync
