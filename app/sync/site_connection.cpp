#include "site_connection.h"

#include <cctype>

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
  try {
    ftp.connect({fields.serverIP, port, fields.userName, fields.password});
  } catch (const FtpError&) {
    view.showUploadPanel();
    view.showMessage(kMsgCannotConnect, "", BoxKind::Ok);
    return;
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
