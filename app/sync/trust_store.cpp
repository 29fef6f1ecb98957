#include "trust_store.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrova::sync {
namespace {

std::string EntryKey(const std::string& host, int port) { return host + ":" + std::to_string(port); }

}  // namespace

std::string TrustFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) return std::string(config) + "/kestrova";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/kestrova";
}

std::string DefaultCertificateExceptionsFile() { return TrustFolder() + "/trusted_certificates"; }
std::string DefaultKnownHostsFile() { return TrustFolder() + "/known_hosts"; }

bool HasCertificateException(const std::string& file, const std::string& host, int port,
                             const std::string& fingerprint) {
  std::ifstream in(file);
  std::string key, value;
  while (in >> key >> value)
    if (key == EntryKey(host, port) && value == fingerprint) return true;
  return false;
}

bool AddCertificateException(const std::string& file, const std::string& host, int port,
                             const std::string& fingerprint) {
  if (HasCertificateException(file, host, port, fingerprint)) return true;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
  std::stringstream kept;
  if (std::ifstream in(file); in) kept << in.rdbuf();
  std::string temporary = file + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << kept.str() << EntryKey(host, port) << " " << fingerprint << "\n";
    if (!out.flush()) return false;
  }
  std::filesystem::rename(temporary, file, error);
  return !error;
}

}  // namespace kestrova::sync
