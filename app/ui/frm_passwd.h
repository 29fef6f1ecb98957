// The password change dialog; OK passes the four rules first.
#pragma once

#include "profile_dialog.h"

namespace kestrova::ui {

class TFrmPasswd : public ProfileDialog {
  Q_OBJECT

 public:
  explicit TFrmPasswd(AppContext& context);

  QLineEdit* edoldpwd;
  QLineEdit* ednewpwd;
  QLineEdit* edconnewpwd;

 protected:
  bool FormCloseQuery() override;
};

}  // namespace kestrova::ui
