// The seven windows the tool creates at start and keeps for the whole run,
// and what they share. Windows reach each other through these pointers, as
// the handlers need them only once the run is under way.
#pragma once

#include <QString>
#include <memory>

#include "app_log.h"
#include "service_movie.h"

namespace kestrova::catalogue {
class SiteSync;
}

namespace kestrova::ui {

class Platform;
class TLoginForm;
class TMainForm;
class TfrmMain;
class TFrmMp;
class TFrmBfq;
class TFrmTb;
class TFrmPasswd;

struct AppWindows {
  TLoginForm* LoginForm = nullptr;
  TMainForm* MainForm = nullptr;
  TfrmMain* frmMain = nullptr;
  TFrmMp* FrmMp = nullptr;
  TFrmBfq* FrmBfq = nullptr;
  TFrmTb* FrmTb = nullptr;
  TFrmPasswd* FrmPasswd = nullptr;
};

// What the windows are made with.
struct AppContext {
  Platform& platform;
  AppWindows& windows;
  // The folder the tool was started from (as launched, symlinks not
  // followed); the data folder lies below it.
  QString executableFolder;
  // The login movie and the main movie share one session with the back end.
  std::shared_ptr<service::ServiceSession> session = std::make_shared<service::ServiceSession>();
  // The one log, made with the context (on the GUI thread) and outliving
  // every window made with it.
  std::unique_ptr<AppLog> log = std::make_unique<AppLog>();
};

// Owns the windows, created in their fixed order: login, main, batch dialog,
// card, player settings, logo, password.
class AppWindowSet {
 public:
  explicit AppWindowSet(AppContext& context);
  ~AppWindowSet();
  AppWindowSet(const AppWindowSet&) = delete;
  AppWindowSet& operator=(const AppWindowSet&) = delete;

 private:
  std::unique_ptr<TLoginForm> login_;
  std::unique_ptr<TMainForm> main_;
  std::unique_ptr<TfrmMain> batch_;
  std::unique_ptr<TFrmMp> card_;
  std::unique_ptr<TFrmBfq> player_;
  std::unique_ptr<TFrmTb> logo_;
  std::unique_ptr<TFrmPasswd> password_;
  AppWindows& windows_;
};

}  // namespace kestrova::ui
