// The conversion batch dialog. For now an empty dialog that only takes its
// place in the start-up order; the conversion front end fills it.
#pragma once

#include <QDialog>

#include "app_windows.h"

namespace kestrova::ui {

class TfrmMain : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmMain(AppContext& context);
};

}  // namespace kestrova::ui
