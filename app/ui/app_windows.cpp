#include "app_windows.h"

#include "frm_bfq.h"
#include "frm_main.h"
#include "frm_mp.h"
#include "frm_passwd.h"
#include "frm_tb.h"
#include "login_form.h"
#include "main_form.h"

namespace kestrova::ui {

AppWindowSet::AppWindowSet(AppContext& context) : windows_(context.windows) {
  login_ = std::make_unique<TLoginForm>(context);
  windows_.LoginForm = login_.get();
  main_ = std::make_unique<TMainForm>(context);
  windows_.MainForm = main_.get();
  batch_ = std::make_unique<TfrmMain>(context);
  windows_.frmMain = batch_.get();
  card_ = std::make_unique<TFrmMp>(context);
  windows_.FrmMp = card_.get();
  player_ = std::make_unique<TFrmBfq>(context);
  windows_.FrmBfq = player_.get();
  logo_ = std::make_unique<TFrmTb>(context);
  windows_.FrmTb = logo_.get();
  password_ = std::make_unique<TFrmPasswd>(context);
  windows_.FrmPasswd = password_.get();
}

AppWindowSet::~AppWindowSet() {
  // The main window goes first: it stops its player and network work while
  // the dialogs it reads are still there.
  main_.reset();
  windows_ = AppWindows{};
}

}  // namespace kestrova::ui
