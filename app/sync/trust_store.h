// What the user has chosen to trust beyond the system's CA store: server
// certificates accepted for good (per host and port, like a browser's
// exception) and the SSH host keys seen so far. Both live in the tool's own
// folder ($XDG_CONFIG_HOME/kestrova, else ~/.config/kestrova), not in the
// user's ~/.ssh, so the tool never edits another program's files.
#pragma once

#include <string>

namespace kestrova::sync {

std::string TrustFolder();
std::string DefaultCertificateExceptionsFile();
std::string DefaultKnownHostsFile();

// Whether file holds fingerprint for host:port.
bool HasCertificateException(const std::string& file, const std::string& host, int port,
                             const std::string& fingerprint);
// Adds the entry (written beside the file and renamed over it). False when
// the file cannot be written.
bool AddCertificateException(const std::string& file, const std::string& host, int port,
                             const std::string& fingerprint);

}  // namespace kestrova::sync
