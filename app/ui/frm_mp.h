// The company card dialog.
#pragma once

#include "profile_dialog.h"

namespace kestrova::ui {

class TFrmMp : public ProfileDialog {
  Q_OBJECT

 public:
  explicit TFrmMp(AppContext& context);

  QLineEdit* edCompanyName;
  QLineEdit* edCard;
  QLineEdit* edTel;
  QLineEdit* edFax;
  QLineEdit* edQQ;
  QLineEdit* edSkype;
  QLineEdit* edMSN;
  QLineEdit* edEmail;
};

}  // namespace kestrova::ui
