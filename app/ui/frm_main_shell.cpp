#include "frm_main_shell.h"

#include "app_title.h"

namespace kestrova::ui {

TfrmMain::TfrmMain(AppContext&) : QDialog(nullptr) {
  setObjectName("frmMain");
  setWindowTitle(QStringLiteral("视频转换"));
  resize(640, 480);
  // The batch dialog renames the application when it is created; the name
  // stays for the rest of the run.
  SetApplicationTitle(QStringLiteral("ZorvaneKestrova"));
}

}  // namespace kestrova::ui
