#include "site_protocol.h"

namespace kestrova::sync {

const char* ProtocolName(SiteProtocol protocol) {
  switch (protocol) {
    case SiteProtocol::Ftps: return "ftps";
    case SiteProtocol::FtpsImplicit: return "ftps-implicit";
    case SiteProtocol::Sftp: return "sftp";
    default: return "ftp";
  }
}

std::optional<SiteProtocol> ParseProtocolName(const std::string& name) {
  for (SiteProtocol p : {SiteProtocol::Ftp, SiteProtocol::Ftps, SiteProtocol::FtpsImplicit, SiteProtocol::Sftp})
    if (name == ProtocolName(p)) return p;
  return std::nullopt;
}

int DefaultPort(SiteProtocol protocol) {
  switch (protocol) {
    case SiteProtocol::FtpsImplicit: return 990;
    case SiteProtocol::Sftp: return 22;
    default: return 21;
  }
}

bool UsesTls(SiteProtocol protocol) {
  return protocol == SiteProtocol::Ftps || protocol == SiteProtocol::FtpsImplicit;
}

const std::vector<ProtocolChoice>& ProtocolChoices() {
  static const std::vector<ProtocolChoice> choices = {
      {SiteProtocol::Ftp, "FTP（明文）"},
      {SiteProtocol::Ftps, "FTPS（显式 TLS）"},
      {SiteProtocol::FtpsImplicit, "FTPS（隐式 TLS）"},
      {SiteProtocol::Sftp, "SFTP（SSH）"},
  };
  return choices;
}

namespace {
// Host names never hold a "?", so the first one ends the host; the key
// file's path follows as it is.
constexpr const char* kKeyMark = "?key=";
}  // namespace

SiteAddress SplitSiteAddress(const std::string& stored) {
  size_t mark = stored.find("://");
  if (mark != std::string::npos) {
    if (auto protocol = ParseProtocolName(stored.substr(0, mark))) {
      SiteAddress address{*protocol, stored.substr(mark + 3), ""};
      size_t key = address.host.find(kKeyMark);
      if (*protocol == SiteProtocol::Sftp && key != std::string::npos) {
        address.keyFile = address.host.substr(key + std::char_traits<char>::length(kKeyMark));
        address.host.erase(key);
      }
      return address;
    }
  }
  return {SiteProtocol::Ftp, stored, ""};
}

std::string JoinSiteAddress(const SiteAddress& address) {
  if (address.protocol == SiteProtocol::Ftp) return address.host;
  std::string joined = std::string(ProtocolName(address.protocol)) + "://" + address.host;
  if (address.protocol == SiteProtocol::Sftp && !address.keyFile.empty()) joined += kKeyMark + address.keyFile;
  return joined;
}

}  // namespace kestrova::sync
