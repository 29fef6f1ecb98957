// The look shared by the four company profile dialogs: borderless, a painted
// background Image1 that drags the dialog and whose window colour is cut out,
// and the OK (BitBtn1) and Cancel (BitBtn2) buttons. What is typed stays in
// the controls when the dialog is cancelled.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app_windows.h"

namespace kestrova::ui {

class ProfileDialog : public QDialog {
  Q_OBJECT

 public:
  ProfileDialog(AppContext& context, QSize clientSize, const QString& caption, bool withButtons);

  QLabel* Image1 = nullptr;
  QPushButton* BitBtn1 = nullptr;  // OK
  QPushButton* BitBtn2 = nullptr;  // Cancel

 protected:
  // A caption on the left and a borderless edit field on the right.
  QLineEdit* addField(const QString& caption, int top);
  QLabel* addLabel(const QString& text, const QRect& geometry);
  // BitBtn1 asks here before it closes the dialog with OK.
  virtual bool FormCloseQuery() { return true; }

  AppContext& context_;
};

}  // namespace kestrova::ui
