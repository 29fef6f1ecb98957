// The company card, player settings, logo and password dialogs, driven
// through the toolbar against the real service.
#include <QScrollBar>

#include "desktop_fixture.h"
#include "site_protocol.h"
#include "web_view.h"

namespace kestrova::test {
namespace {

using ProfileDialogs = DesktopFixture;

// What the service now says about the company, through a fresh sign-in.
std::string ProfileValue(const ServiceProcess& service, const std::string& password, const std::string& attribute) {
  ServiceReply reply = service.post(ServiceProcess::Envelope(
      "<data><msgType>loadMainFlash</msgType><msg><item account=\"demo\" password =\"" + password +
      "\" /></msg></data>"));
  std::string key = " " + attribute + "=\"";
  size_t at = reply.body.find(key);
  if (at == std::string::npos) return "<missing>";
  at += key.size();
  return reply.body.substr(at, reply.body.find('"', at) - at);
}

TEST_F(ProfileDialogs, CancelKeepsTypedTextForTheNextOk) {
  createWindows();
  loginAndWaitForList();
  platform_.dialogScripts.push_back([this](QDialog&) {
    windows().FrmMp->edFax->setText("010-999");
    return int(QDialog::Rejected);
  });
  QTest::mouseClick(main().btnqympsz, Qt::LeftButton);
  QTest::qWait(200);
  EXPECT_EQ(requestsSeen("ModComCard"), 0);

  // OK on the player settings sends the card with the changed fax.
  platform_.dialogScripts.push_back([this](QDialog&) {
    windows().FrmBfq->chkAutoPlay->setChecked(false);
    QTest::mouseClick(windows().FrmBfq->BitBtn1, Qt::LeftButton);
    return windows().FrmBfq->result();
  });
  QTest::mouseClick(main().btnwzbfsz, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("资料修改成功！")));
  EXPECT_EQ(platform_.dialogsRun, (QStringList{"FrmMp", "FrmBfq"}));
  EXPECT_EQ(ProfileValue(*service_, "demo", "fax"), "010-999");
  EXPECT_EQ(ProfileValue(*service_, "demo", "auto_play"), "0");
  EXPECT_EQ(ProfileValue(*service_, "demo", "ftp_addr"), "127.0.0.1");
  EXPECT_TRUE(main().chkAutoPlay->isChecked()) << "the main window took the flags once, at login";
}

TEST_F(ProfileDialogs, MaskedFtpSettingsAreSentUnchanged) {
  service_->addCompany({{"account", "viewer"}, {"password", "pw"}, {"tvtype", "BASIC"}, {"ftp_addr", "ftp.example"},
                        {"ftp_password", "s3cret"}, {"ftp_port", "2100"}});
  createWindows();
  typeAndLogin("viewer", "pw");
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().isVisible(); }, 15000));
  ASSERT_FALSE(main().edPW->isEnabled());
  QTest::mouseClick(main().btsave, Qt::LeftButton);  // the sync panel's save
  ASSERT_TRUE(waitForShown(QStringLiteral("资料修改成功！")));
  ServiceReply reply = service_->post(ServiceProcess::Envelope(
      "<data><msgType>loadMainFlash</msgType><msg><item account=\"viewer\" password =\"pw\" /></msg></data>"));
  EXPECT_NE(reply.body.find("ftp_password=\"s3cret\""), std::string::npos) << reply.body;
  EXPECT_NE(reply.body.find("ftp_port=\"2100\""), std::string::npos) << reply.body;
}

TEST_F(ProfileDialogs, TheSyncPanelsProtocolPortAndKeyFileAreRestoredFollowedAndSaved) {
  // Port 9 on loopback refuses at once: the sign-in's connection fails quickly.
  service_->addCompany({{"account", "keeper"}, {"password", "pw"}, {"tvtype", "SETUP"},
                        {"ftp_addr", "sftp://127.0.0.1?key=/keys/site_key"}, {"ftp_port", "9"}});
  createWindows();
  typeAndLogin("keeper", "pw");
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().isVisible(); }, 15000));
  ui::TMainForm& form = main();
  auto protocol = [&] { return sync::SiteProtocol(form.cbProtocol->currentData().toInt()); };
  auto choose = [&](sync::SiteProtocol p) { form.cbProtocol->setCurrentIndex(form.cbProtocol->findData(int(p))); };
  EXPECT_EQ(protocol(), sync::SiteProtocol::Sftp);
  EXPECT_EQ(form.edKeyFile->text(), "/keys/site_key");
  EXPECT_TRUE(form.edKeyFile->isEnabled());
  EXPECT_TRUE(form.lblPlainFtp->isHidden());
  EXPECT_EQ(form.edPort->text(), "9");

  // A port that is no protocol's default stays; a default follows the protocol.
  struct Step {
    sync::SiteProtocol protocol;
    QString typedPort;  // typed before the change; empty: none
    QString port;
    bool plainWarning, keyField;
  };
  for (const Step& step : std::vector<Step>{{sync::SiteProtocol::Ftps, "", "9", false, false},
                                            {sync::SiteProtocol::FtpsImplicit, "21", "990", false, false},
                                            {sync::SiteProtocol::Ftp, "", "21", true, false},
                                            {sync::SiteProtocol::Sftp, "", "22", false, true},
                                            {sync::SiteProtocol::Ftps, "2222", "2222", false, false},
                                            {sync::SiteProtocol::Sftp, "", "2222", false, true}}) {
    SCOPED_TRACE(sync::ProtocolName(step.protocol));
    if (!step.typedPort.isEmpty()) form.edPort->setText(step.typedPort);
    choose(step.protocol);
    EXPECT_EQ(form.edPort->text(), step.port);
    EXPECT_EQ(!form.lblPlainFtp->isHidden(), step.plainWarning);
    EXPECT_EQ(form.edKeyFile->isEnabled(), step.keyField);
  }

  form.edKeyFile->setText(QStringLiteral(" /home/王 五/.ssh/id_ed25519 "));
  QTest::mouseClick(form.btsave, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("资料修改成功！")));
  ServiceReply reply = service_->post(ServiceProcess::Envelope(
      "<data><msgType>loadMainFlash</msgType><msg><item account=\"keeper\" password =\"pw\" /></msg></data>"));
  EXPECT_NE(reply.body.find("ftp_addr=\"sftp://127.0.0.1?key=/home/王 五/.ssh/id_ed25519\""), std::string::npos)
      << reply.body;
  EXPECT_NE(reply.body.find("ftp_port=\"2222\""), std::string::npos) << reply.body;
}

TEST_F(ProfileDialogs, PasswordRulesKeepTheDialogOpen) {
  createWindows();
  loginAndWaitForList();
  ui::TFrmPasswd& dialog = *windows().FrmPasswd;
  platform_.dialogScripts.push_back([&](QDialog&) {
    dialog.edoldpwd->setText("demo");
    dialog.ednewpwd->setText("next ");
    dialog.edconnewpwd->setText("next");
    QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(platform_.texts().last(), QStringLiteral("密码与确认密码不一致，请重新输入！"));
    EXPECT_NE(dialog.result(), int(QDialog::Accepted));
    dialog.edconnewpwd->setText("next ");
    QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
    return dialog.result();
  });
  QTest::mouseClick(main().btnmmxg, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("企业密码修改成功！")));
  EXPECT_NE(service_->login("demo", "next"), "") << "sent trimmed";
  EXPECT_EQ(service_->login("demo", "demo"), "");
}

TEST_F(ProfileDialogs, RefusedPasswordChangeReopensTheDialogAsItWas) {
  createWindows();
  loginAndWaitForList();
  ui::TFrmPasswd& dialog = *windows().FrmPasswd;
  platform_.dialogScripts.push_back([&](QDialog&) {
    dialog.edoldpwd->setText("not-the-password");
    dialog.ednewpwd->setText("x");
    dialog.edconnewpwd->setText("x");
    QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
    return dialog.result();
  });
  QString oldAtReopen;
  platform_.dialogScripts.push_back([&](QDialog&) {
    oldAtReopen = dialog.edoldpwd->text();
    return int(QDialog::Rejected);
  });
  QTest::mouseClick(main().btnmmxg, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("企业密码修改失败！")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return platform_.dialogsRun.size() == 2; }, 3000));
  EXPECT_EQ(oldAtReopen, "not-the-password");
  EXPECT_EQ(requestsSeen("ModComPsw"), 1);
}

TEST_F(ProfileDialogs, PickedLogoIsCopiedByteForByte) {
  createWindows();
  std::string jpeg("\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\x02\x03\xFF\xD9", 20);
  WriteFile(folder_ / "picked.jpg", jpeg);
  platform_.fileAnswers = {QString::fromStdString((folder_ / "picked.jpg").string())};
  platform_.dialogScripts.push_back([this](QDialog&) {
    QTest::mouseClick(windows().FrmTb->SpeedButton1, Qt::LeftButton);
    QTest::mouseClick(windows().FrmTb->btsave, Qt::LeftButton);
    return windows().FrmTb->result();
  });
  QTest::mouseClick(main().btnqytbsz, Qt::LeftButton);
  EXPECT_EQ(ReadFile(dataPath() / "model" / "logo.gif"), jpeg);
  EXPECT_TRUE(platform_.texts("error").isEmpty());

  // Cancelling the file dialog changes nothing; a vanished file is reported.
  platform_.fileAnswers = {QString(), QString::fromStdString((folder_ / "gone.gif").string())};
  windows().FrmTb->SpeedButton1Click();
  QTest::mouseClick(windows().FrmTb->SpeedButton1, Qt::LeftButton);
  EXPECT_EQ(platform_.texts("error").size(), 1);
  EXPECT_EQ(ReadFile(dataPath() / "model" / "logo.gif"), jpeg);
}

TEST_F(ProfileDialogs, TheLogoShowsWholeAndFittedTheSameWayAtStartAndAfterAPick) {
  // The template's logo: nothing drawn runs into its edges.
  QImage logo(QString::fromStdString((dataPath() / "model" / "logo.gif").string()));
  ASSERT_FALSE(logo.isNull());
  QRgb background = logo.pixel(0, 0);
  for (int y = 0; y < logo.height(); ++y)
    for (int x : {0, 1, 2, logo.width() - 3, logo.width() - 2, logo.width() - 1})
      ASSERT_EQ(logo.pixel(x, y), background) << "the logo is cut off at column " << x << ", row " << y;

  createWindows();
  ui::WebView* view = windows().FrmTb->WebBrowser1;
  auto fitsWhole = [view](QSize shown, QSize picture) {
    QSize room = view->contentsRect().size();
    return shown.isValid() && shown.width() <= room.width() && shown.height() <= room.height() &&
           std::abs(shown.width() * picture.height() - shown.height() * picture.width()) <= picture.width() + picture.height();
  };
  QSize atStart = view->shownPictureSize();
  EXPECT_TRUE(fitsWhole(atStart, logo.size())) << atStart.width() << "x" << atStart.height();

  // Shown in the dialog, the same; a large picture picked there is fitted too.
  QImage large(800, 300, QImage::Format_RGB32);
  large.fill(Qt::darkGreen);
  ASSERT_TRUE(large.save(QString::fromStdString((folder_ / "large.png").string())));
  platform_.fileAnswers = {QString::fromStdString((dataPath() / "model" / "logo.gif").string()),
                           QString::fromStdString((folder_ / "large.png").string())};
  QSize whileShown, afterSamePick, afterLargePick;
  bool scrollBars = true;
  platform_.dialogScripts.push_back([&](QDialog&) {
    whileShown = view->shownPictureSize();
    QTest::mouseClick(windows().FrmTb->SpeedButton1, Qt::LeftButton);
    afterSamePick = view->shownPictureSize();
    QTest::mouseClick(windows().FrmTb->SpeedButton1, Qt::LeftButton);
    afterLargePick = view->shownPictureSize();
    scrollBars = view->verticalScrollBar()->isVisible() || view->horizontalScrollBar()->isVisible();
    return int(QDialog::Accepted);
  });
  QTest::mouseClick(main().btnqytbsz, Qt::LeftButton);
  EXPECT_EQ(whileShown, atStart);
  EXPECT_EQ(afterSamePick, atStart) << "one view of the same logo, before and after picking it";
  EXPECT_TRUE(fitsWhole(afterLargePick, large.size())) << afterLargePick.width() << "x" << afterLargePick.height();
  EXPECT_FALSE(scrollBars);
}

}  // namespace
}  // namespace kestrova::test
