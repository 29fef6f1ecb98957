// The sign-in window: the application's main window until the login reply
// arrives, then hidden for good.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "app_windows.h"
#include "window_chrome.h"

namespace kestrova::ui {

class TLoginForm : public QWidget {
  Q_OBJECT

 public:
  explicit TLoginForm(AppContext& context);

  QLabel* Image4;          // background, drags the window
  PictureButton* Image1;   // close box
  QLineEdit* edtaccount;
  QLineEdit* edtpassword;
  PictureButton* btnlogin;
  PictureButton* btncancel;
  QLabel* Label1;          // register: the member page
  QLabel* Label2;          // forgotten password
  service::ServiceMovie* swflogin;

  void btnloginClick();
  void swfloginFSCommand(const QString& command, const QString& args);
  void goMain();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void openServicePage(const QString& path);

  AppContext& context_;
};

}  // namespace kestrova::ui
