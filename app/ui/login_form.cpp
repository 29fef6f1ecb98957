#include "login_form.h"

#include <QCloseEvent>
#include <QMouseEvent>

#include "app_title.h"
#include "artwork.h"
#include "frm_bfq.h"
#include "frm_mp.h"
#include "handler_guard.h"
#include "login_profile.h"
#include "main_form.h"
#include "platform.h"
#include "request_texts.h"

namespace kestrova::ui {

namespace {
const QSize kClientSize(321, 222);
}

TLoginForm::TLoginForm(AppContext& context)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), context_(context) {
  setObjectName("TLoginForm");
  setWindowTitle(QStringLiteral("系统登录"));
  setFixedSize(kClientSize);
  QPixmap background = artwork::WindowBackground(kClientSize, QStringLiteral("Kestrova 系统登录"));
  Image4 = MakePicture(this, background, rect());
  MakeDragHandle(Image4, this);
  MakeDragHandle(this, this);
  ApplyWindowShape(this, background);

  Image1 = new PictureButton(this, artwork::CloseBox(QSize(44, 18)), QRect(kClientSize.width() - 54, 12, 44, 18));
  Image1->setToolTip(QStringLiteral("关闭"));

  auto caption = [this](const QString& text, int top) {
    auto* label = new QLabel(text, this);
    label->setGeometry(30, top, 60, 24);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  };
  caption(QStringLiteral("账号："), 80);
  caption(QStringLiteral("密码："), 116);
  edtaccount = new QLineEdit(this);
  edtaccount->setGeometry(96, 80, 140, 24);
  edtaccount->setFrame(false);
  edtpassword = new QLineEdit(this);
  edtpassword->setGeometry(96, 116, 140, 24);
  edtpassword->setFrame(false);
  edtpassword->setEchoMode(QLineEdit::Password);
  edtpassword->setStyleSheet("lineedit-password-character: 42;");
  setTabOrder(edtaccount, edtpassword);

  auto link = [this](const QString& text, int top) {
    auto* label = new QLabel(QStringLiteral("<a href='#' style='color:#1d5fb8'>%1</a>").arg(text), this);
    label->setGeometry(244, top, 70, 24);
    label->setCursor(Qt::PointingHandCursor);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->installEventFilter(this);
    return label;
  };
  Label1 = link(QStringLiteral("注册账号"), 80);
  Label2 = link(QStringLiteral("忘记密码"), 116);

  btnlogin = new PictureButton(this, artwork::ButtonPicture(QSize(80, 30), QStringLiteral("登 录"), artwork::AccentBlue()),
                               QRect(70, 166, 80, 30));
  btncancel = new PictureButton(this, artwork::ButtonPicture(QSize(80, 30), QStringLiteral("取 消"), artwork::AccentGrey()),
                                QRect(170, 166, 80, 30));
  for (PictureButton* button : {Image1, btnlogin, btncancel}) button->setTransparentColour(kButtonTransparentColour);

  swflogin = new service::ServiceMovie(service::ServiceMovie::Kind::Login, context_.session, this);
  swflogin->setMovie(service::ServiceMovie::MoviePath("login.dll"));

  auto guarded = [this](auto handler) { return [this, handler] { Guarded(context_.platform, handler); }; };
  connect(btnlogin, &QToolButton::clicked, this, guarded([this] { btnloginClick(); }));
  connect(edtaccount, &QLineEdit::returnPressed, this, guarded([this] { btnloginClick(); }));
  connect(edtpassword, &QLineEdit::returnPressed, this, guarded([this] { btnloginClick(); }));
  connect(btncancel, &QToolButton::clicked, this, &QWidget::close);
  connect(Image1, &QToolButton::clicked, this, &QWidget::close);
  connect(swflogin, &service::ServiceMovie::OnFSCommand, this, [this](const QString& command, const QString& args) {
    Guarded(context_.platform, [&] { swfloginFSCommand(command, args); });
  });
  connect(swflogin, &service::ServiceMovie::OnServiceBusy, this, [this](const QString& message) {
    context_.platform.messageBox(message, ApplicationTitle());
    btnlogin->setEnabled(true);
  });
}

bool TLoginForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == Label1) openServicePage("/member/");
    if (watched == Label2) openServicePage("/member/getentpwd.php");
  }
  return QWidget::eventFilter(watched, event);
}

void TLoginForm::openServicePage(const QString& path) {
  context_.platform.openAddress(service::ServicePageUrl(swflogin->baseUrl(), path));
}

void TLoginForm::btnloginClick() {
  QString certificateProblem;
  switch (service::CheckServiceReachability(swflogin->baseUrl(), &certificateProblem)) {
    case service::ServiceReachability::Reachable:
      break;
    case service::ServiceReachability::Untrusted:
      // Not the network's fault: saying so spares the user a wait that cannot help.
      context_.platform.messageBox(QStringLiteral("服务器的证书未通过验证，为安全起见未连接：") + certificateProblem +
                                       QStringLiteral("。私有部署请用环境变量 KESTROVA_CA_FILE 指定其证书颁发机构文件。"),
                                   ApplicationTitle());
      return;
    case service::ServiceReachability::Unreachable:
      context_.platform.messageBox(QStringLiteral("无法连接到服务器，请检查您的网络/稍候再试！"), ApplicationTitle());
      return;
  }
  btnlogin->setEnabled(false);
  swflogin->CallFunction(QString::fromStdString(
      service::LoadMainFlashRequest(edtaccount->text().toStdString(), edtpassword->text().toStdString())));
}

void TLoginForm::swfloginFSCommand(const QString&, const QString& args) {
  publishing::LoginProfile profile = publishing::ReadLoginProfile(args.toStdString());
  if (!profile.accepted()) {
    context_.platform.messageBox(QStringLiteral("用户名/密码 错误！"), ApplicationTitle());
    btnlogin->setEnabled(true);
    return;
  }
  auto text = [](const std::string& value) { return QString::fromStdString(value); };
  TFrmMp& card = *context_.windows.FrmMp;
  card.edCompanyName->setText(text(profile.name));
  card.edCard->setText(text(profile.title));
  card.edTel->setText(text(profile.tel));
  card.edFax->setText(text(profile.fax));
  card.edQQ->setText(text(profile.qq));
  card.edSkype->setText(text(profile.skype));
  card.edMSN->setText(text(profile.msn));
  card.edEmail->setText(text(profile.email));

  // A flag that is not an integer ends the login here (FlagChecked throws):
  // the flags before it stay set, nothing after it happens.
  TFrmBfq& flags = *context_.windows.FrmBfq;
  flags.chkDisplayEntCard->setChecked(publishing::FlagChecked(profile.dsp_ent_card));
  flags.chkDisplayZhimo->setChecked(publishing::FlagChecked(profile.dsp_play_zhimo));
  flags.chkAutoPlay->setChecked(publishing::FlagChecked(profile.auto_play));
  flags.chkAutocre->setChecked(publishing::FlagChecked(profile.auto_cre));
  flags.chkDisplayLogo->setChecked(publishing::FlagChecked(profile.dsp_logo));

  TMainForm& main = *context_.windows.MainForm;
  main.takeLoginProfile(profile, flags);
  goMain();
}

void TLoginForm::goMain() {
  hide();
  context_.windows.MainForm->show();
  context_.windows.MainForm->activateWindow();
}

void TLoginForm::closeEvent(QCloseEvent* event) {
  event->accept();
  // Closing the application's main window ends the program; once hidden
  // after a login it is never closed by the user.
  if (isVisible()) context_.platform.endProgram();
}

}  // namespace kestrova::ui
