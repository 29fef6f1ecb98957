#include "site_connection.h"

#include <cctype>

#include "trust_store.h"

namespace kestrova::sync {

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

bool ParsePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  port = std::stoi(text);
  return port > 0 && port < 65536;
}

std::string ConnectFailureText(const FtpError& error) {
  switch (error.kind()) {
    case FtpError::Kind::Login: return kMsgLoginRefused;
    case FtpError::Kind::Untrusted: return std::string(kMsgUntrustedRefused) + "\n" + error.what();
    default: return kMsgCannotConnect;
  }
}

void connectFtp(FtpClient& ftp, SyncView& view) {
  ConnectionFields fields = view.connectionFields();
  if (fields.serverIP.empty()) {
    view.showMessage(kMsgNoServerAddress, "", BoxKind::Ok);
    return;
  }
  int port = 0;
  if (!ParsePort(fields.port, port)) {
    view.showMessage(kMsgPortNotNumber, "", BoxKind::Ok);
    return;
  }
  if (ftp.connected()) ftp.disconnect();
  FtpLogin login{fields.serverIP, port, fields.userName, fields.password};
  login.protocol = fields.protocol;
  login.keyFile = fields.keyFile;
  login.caFile = fields.caFile;
  login.acceptedFingerprints = fields.acceptedFingerprints;
  login.certificateExceptionsFile = DefaultCertificateExceptionsFile();
  login.knownHostsFile = DefaultKnownHostsFile();
  for (bool asked = false;;) {
    try {
      ftp.connect(login);
      break;
    } catch (const FtpError& error) {
      if (error.kind() == FtpError::Kind::Untrusted && !error.fingerprint().empty() && !asked) {
        asked = true;
        TrustAnswer answer = view.askTrust(error.what(), error.fingerprint());
        if (answer != TrustAnswer::Refuse) {
          login.acceptedFingerprints.push_back(error.fingerprint());
          login.rememberAccepted = answer == TrustAnswer::Always;
          continue;
        }
      }
      view.showUploadPanel();
      view.setStatus(error.what());  // the server's own words or the network's reason
      view.showMessage(ConnectFailureText(error), "", BoxKind::Ok);
      return;
    }
  }
  std::string root = TrimBlanks(fields.serverPath);
  view.setServerPathField(root);
  bool entered = false;
  try {
    // One MKD of the whole path: the root is an existing site's folder plus
    // at most one new level, so a mistyped root is reported, not built.
    entered = ftp.changeDir(root) || (ftp.makeDir(root) && ftp.changeDir(root));
  } catch (const FtpError&) {
    entered = false;  // the connection broke on the way in: the same advice applies
  }
  if (!entered) {
    view.showMessage(kMsgBadSiteRoot, "", BoxKind::Ok);
    ftp.disconnect();
    return;
  }
  view.setStatus(kStatusConnected);
}

void btntestConnClick(SiteConnection& site, SyncView& view, bool transferring) {
  std::unique_lock lock(site.busy, std::try_to_lock);
  if (!lock.owns_lock()) {
    // An upload run holds the connection; testing now would cut it off.
    view.showMessage(kMsgTransferring, "", BoxKind::Ok);
    return;
  }
  connectFtp(site.ftp, view);
  if (!site.ftp.connected()) return;
  view.showMessage(kMsgTestSucceeded, "", BoxKind::Ok);
  view.setStatus(kStatusTestSucceeded);
  if (transferring) site.ftp.abortAndQuit();
}

void deleteIfPresent(FtpClient& ftp, const std::string& folder, const std::string& name) {
  if (!ftp.changeDir(folder)) throw FtpError(FtpError::Kind::Refused, "CWD " + folder + " 被服务器拒绝");
  if (!ftp.size(folder + "/" + name)) return;
  if (!ftp.remove(folder + "/" + name))
    throw FtpError(FtpError::Kind::Refused, "DELE " + folder + "/" + name + " 被服务器拒绝");
}

}  // namespace kestrova::sync
