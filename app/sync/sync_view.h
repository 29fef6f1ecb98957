// What the synchronisation asks of the window that shows it: the settings
// fields, the change list, the status line, the buttons and message boxes.
// Every call is made on the window's thread; the upload worker reaches it
// through MarshalledView, which hands each call over and waits for it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "change_scan.h"
#include "site_protocol.h"

namespace kestrova::sync {

// The six settings fields as typed (edDomain is not needed here).
// The optional members carry {} so that a brace list of the five panel
// fields leaves them empty without a warning.
struct ConnectionFields {
  std::string serverIP;    // edServerIP
  std::string port;        // edPort
  std::string userName;    // edUserName
  std::string password;    // edPW
  std::string serverPath;  // edServerPath
  SiteProtocol protocol = SiteProtocol::Ftp;
  std::string keyFile{};   // SFTP private key file; empty: log in with the password
  // Trust settings that have no field in the panel (the terminal tool's
  // --ca-file and --accept-fingerprint).
  std::string caFile{};
  std::vector<std::string> acceptedFingerprints{};
};

// The user's answer to a server that failed its identity check.
enum class TrustAnswer { Refuse, Once, Always };

enum class BoxKind {
  Ok,           // OK button, application title unless a caption is given
  YesOnly,      // the upload error box: its only button is Yes
  OkWithoutOwner,  // the closing box, which belongs to no window
};

class SyncView {
 public:
  virtual ~SyncView() = default;
  virtual ConnectionFields connectionFields() = 0;
  virtual void setServerPathField(const std::string& text) = 0;
  // Brings the upload panel to the front, as its panel button does.
  virtual void showUploadPanel() = 0;
  virtual void setStatus(const std::string& text) = 0;
  // Buttons: running disables btnscan, btnUpload2 and btntestConn and
  // enables btnpauseupload; idle is the reverse.
  virtual void setRunning(bool running) = 0;
  virtual void clearRows() = 0;
  virtual void appendRow(const ChangeRow& row) = 0;
  virtual void setFirstRowState(const std::string& state) = 0;
  virtual void removeFirstRow() = 0;
  // A modal box; returns once the user has dismissed it. An empty caption
  // means the application's title.
  virtual void showMessage(const std::string& text, const std::string& caption, BoxKind kind) = 0;
  // Asks whether to trust a certificate or host key that failed its check
  // (text says why, with its fingerprint). Views that cannot ask refuse.
  virtual TrustAnswer askTrust(const std::string& text, const std::string& fingerprint) {
    (void)text;
    (void)fingerprint;
    return TrustAnswer::Refuse;
  }
};

// Runs a piece of work on the window's thread and returns once it has run.
// The host must run it at once when called on the window's thread itself.
using RunOnWindowThread = std::function<void(const std::function<void()>&)>;

// A SyncView for the worker thread: every call goes through the runner, so
// the window sees the calls in the order the worker made them.
class MarshalledView : public SyncView {
 public:
  MarshalledView(SyncView& target, RunOnWindowThread run) : target_(target), run_(std::move(run)) {}
  ConnectionFields connectionFields() override;
  void setServerPathField(const std::string& text) override;
  void showUploadPanel() override;
  void setStatus(const std::string& text) override;
  void setRunning(bool running) override;
  void clearRows() override;
  void appendRow(const ChangeRow& row) override;
  void setFirstRowState(const std::string& state) override;
  void removeFirstRow() override;
  void showMessage(const std::string& text, const std::string& caption, BoxKind kind) override;
  TrustAnswer askTrust(const std::string& text, const std::string& fingerprint) override;

 private:
  SyncView& target_;
  RunOnWindowThread run_;
};

}  // namespace kestrova::sync
