// The logo dialog: shows data/model/logo.gif and replaces it with a file the
// user picks.
#pragma once

#include <filesystem>

#include "profile_dialog.h"
#include "web_view.h"
#include "window_chrome.h"

namespace kestrova::ui {

class TFrmTb : public ProfileDialog {
  Q_OBJECT

 public:
  explicit TFrmTb(AppContext& context);

  WebView* WebBrowser1;
  PictureButton* SpeedButton1;  // pick a file
  PictureButton* btsave;        // close

  void FormCreate();
  void SpeedButton1Click();
  void btsaveClick();

 private:
  std::filesystem::path dataPath() const;
};

}  // namespace kestrova::ui
