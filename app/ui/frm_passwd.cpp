#include "frm_passwd.h"

#include "app_title.h"
#include "handler_guard.h"
#include "password_rules.h"
#include "platform.h"

namespace kestrova::ui {

TFrmPasswd::TFrmPasswd(AppContext& context)
    : ProfileDialog(context, QSize(441, 303), QStringLiteral("修改后台登录密码"), true) {
  setObjectName("FrmPasswd");
  edoldpwd = addField(QStringLiteral("原始密码："), 90);
  ednewpwd = addField(QStringLiteral("新密码："), 130);
  edconnewpwd = addField(QStringLiteral("确认新密码："), 170);
  for (QLineEdit* edit : {edoldpwd, ednewpwd, edconnewpwd}) {
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet("lineedit-password-character: 42;");
  }
}

bool TFrmPasswd::FormCloseQuery() {
  using publishing::PasswordField;
  auto failure = publishing::CheckPasswordChange(edoldpwd->text().toStdString(), ednewpwd->text().toStdString(),
                                                 edconnewpwd->text().toStdString());
  if (!failure) return true;
  context_.platform.messageBox(QString::fromStdString(failure->message), ApplicationTitle());
  QLineEdit* focus = failure->focus == PasswordField::Old   ? edoldpwd
                     : failure->focus == PasswordField::New ? ednewpwd
                                                            : edconnewpwd;
  focus->setFocus(Qt::OtherFocusReason);
  return false;
}

}  // namespace kestrova::ui
