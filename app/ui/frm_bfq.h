// The player settings dialog: five display flags of the web player.
#pragma once

#include <QCheckBox>

#include "profile_dialog.h"

namespace kestrova::ui {

class TFrmBfq : public ProfileDialog {
  Q_OBJECT

 public:
  explicit TFrmBfq(AppContext& context);

  QCheckBox* chkDisplayEntCard;
  QCheckBox* chkDisplayZhimo;
  QCheckBox* chkAutoPlay;
  QCheckBox* chkAutocre;
  QCheckBox* chkDisplayLogo;
};

}  // namespace kestrova::ui
