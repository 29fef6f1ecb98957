// The main window's side of the site synchronisation: the upload panel's
// widgets as the sync library's view, and the FTP connection as the
// catalogue's delete needs it.
#pragma once

#include "platform.h"
#include "site_connection.h"
#include "site_sync.h"
#include "sync_view.h"

namespace kestrova::ui {

class TMainForm;

// pnlspsc's fields, list, status line and buttons, for the sync library.
// Every call comes on the window's thread.
class MainFormSyncView : public sync::SyncView {
 public:
  MainFormSyncView(TMainForm& form, Platform& platform) : form_(form), platform_(platform) {}
  sync::ConnectionFields connectionFields() override;
  void setServerPathField(const std::string& text) override;
  void showUploadPanel() override;
  void setStatus(const std::string& text) override;
  void setRunning(bool running) override;
  void clearRows() override;
  void appendRow(const sync::ChangeRow& row) override;
  void setFirstRowState(const std::string& state) override;
  void removeFirstRow() override;
  void showMessage(const std::string& text, const std::string& caption, sync::BoxKind kind) override;
  sync::TrustAnswer askTrust(const std::string& text, const std::string& fingerprint) override;

  // From now on boxes are dropped: the window is closing and nobody is left
  // to answer them.
  void silenceBoxes() { boxesSilenced_ = true; }

 private:
  TMainForm& form_;
  Platform& platform_;
  bool boxesSilenced_ = false;
};

// The window's FTP connection used by the delete. It waits for no upload:
// while a run holds the connection, the delete is refused with the sync's
// "transferring" message. Its commands run off the window's thread, so a slow
// server never freezes the window (RunFtpKeepingWindowAlive).
class FtpSiteSync : public catalogue::SiteSync {
 public:
  FtpSiteSync(sync::SiteConnection& site, sync::SyncView& view) : site_(site), view_(view) {}
  bool connectFtp() override;
  void deleteIfPresent(const std::string& folder, const std::string& name) override;

 private:
  sync::SiteConnection& site_;
  sync::SyncView& view_;
};

}  // namespace kestrova::ui
