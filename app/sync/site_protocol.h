// How the site is reached: plain FTP, FTP over TLS (explicit, after AUTH TLS,
// or implicit, TLS from the first byte) or SFTP over SSH. Plain FTP stays the
// default, so settings written before there was a choice still mean what
// they meant.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrova::sync {

enum class SiteProtocol { Ftp, Ftps, FtpsImplicit, Sftp };

// "ftp", "ftps", "ftps-implicit", "sftp": the names of the command line and
// of the stored address.
const char* ProtocolName(SiteProtocol protocol);
std::optional<SiteProtocol> ParseProtocolName(const std::string& name);
// 21, 21, 990, 22.
int DefaultPort(SiteProtocol protocol);
bool UsesTls(SiteProtocol protocol);

struct ProtocolChoice {
  SiteProtocol protocol;
  const char* caption;  // what the panel's combo shows
};
// In the combo's order.
const std::vector<ProtocolChoice>& ProtocolChoices();

// The warning shown wherever plain FTP is chosen.
inline constexpr const char* kWarnPlainFtp = "注意：FTP 以明文传送密码和文件，建议改用 FTPS 或 SFTP。";

// The stored server address carries the protocol as a prefix ("ftps://host")
// except for plain FTP, which keeps the bare host name as before. An SFTP
// address also carries the private key file the panel names, after the host
// ("sftp://host?key=/home/me/.ssh/id_ed25519"), so that the key is saved and
// restored with the connection's other settings.
struct SiteAddress {
  SiteProtocol protocol = SiteProtocol::Ftp;
  std::string host;
  std::string keyFile;  // SFTP only; empty: log in with the password
};
SiteAddress SplitSiteAddress(const std::string& stored);
std::string JoinSiteAddress(const SiteAddress& address);

}  // namespace kestrova::sync
