// Signing in: accepted, refused, no service, a broken player flag, and the
// FTP fields of accounts that may not see them.
#include "desktop_fixture.h"
#include "executable_folder.h"
#include "qt_platform.h"

namespace kestrova::test {
namespace {

using LoginWindow = DesktopFixture;

TEST_F(LoginWindow, AcceptedLoginDistributesTheProfileAndShowsTheCatalogue) {
  createWindows();
  EXPECT_EQ(login().windowTitle(), QStringLiteral("系统登录"));
  EXPECT_EQ(login().size(), QSize(321, 222));
  EXPECT_EQ(main().size(), QSize(857, 628));
  EXPECT_FALSE(main().isVisible());
  loginAndWaitForList();

  EXPECT_FALSE(login().isVisible());
  EXPECT_EQ(windows().FrmMp->edCompanyName->text(), QStringLiteral("星禾数码科技有限公司"));
  EXPECT_EQ(windows().FrmMp->edFax->text(), "021-55550102");
  EXPECT_TRUE(windows().FrmBfq->chkDisplayLogo->isChecked());
  EXPECT_TRUE(main().chkDisplayEntCard->isChecked());
  EXPECT_EQ(main().edServerIP->text(), "127.0.0.1");
  EXPECT_EQ(main().edDomain->text(), "http://127.0.0.1:8641");
  EXPECT_TRUE(main().edServerIP->isEnabled()) << "SETUP sees its FTP settings";
  EXPECT_EQ(main().edServerIP->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(main().tvtype, "SETUP");
  EXPECT_FALSE(main().companyid.empty());
  EXPECT_TRUE(platform_.texts("error").isEmpty()) << platform_.texts("error").join("|").toStdString();
}

TEST_F(LoginWindow, RefusedLoginKeepsTheWindowAndEnablesTheButton) {
  createWindows();
  typeAndLogin("demo", "wrong");
  ASSERT_TRUE(waitForShown(QStringLiteral("用户名/密码 错误！")));
  EXPECT_EQ(platform_.shown.back().caption, "ZorvaneKestrova") << "the batch dialog renamed the application";
  EXPECT_TRUE(login().btnlogin->isEnabled());
  EXPECT_FALSE(main().isVisible());
  EXPECT_EQ(login().edtpassword->text(), "wrong");
}

TEST_F(LoginWindow, NoServiceMeansNothingIsSent) {
  pointMoviesAt("http://127.0.0.1:" + std::to_string(FreeTcpPort()));
  createWindows();
  typeAndLogin("demo", "demo");
  EXPECT_EQ(platform_.texts(), QStringList{QStringLiteral("无法连接到服务器，请检查您的网络/稍候再试！")});
  EXPECT_TRUE(login().btnlogin->isEnabled());
}

TEST_F(LoginWindow, EnterInAFieldSignsIn) {
  createWindows();
  login().edtaccount->setText("demo");
  login().edtpassword->setText("demo");
  QTest::keyClick(login().edtpassword, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return main().isVisible(); }, 15000));
}

TEST_F(LoginWindow, AFlagThatIsNotAnIntegerEndsTheLoginWithItsError) {
  createWindows();
  login().btnlogin->setEnabled(false);  // as after sending
  QString reply = QStringLiteral(
      "<data><msg><item result=\"success\" name=\"新公司\" dsp_ent_card=\"1\" dsp_play_zhimo=\"x\" auto_play=\"1\" "
      "ftp_addr=\"10.0.0.1\" companyid=\"9\" tvtype=\"SETUP\"/></msg></data>");
  emit login().swflogin->OnFSCommand("loadMainFlash", reply);
  EXPECT_EQ(platform_.texts("error"), QStringList{"'x' is not a valid integer value"});
  EXPECT_EQ(windows().FrmMp->edCompanyName->text(), QStringLiteral("新公司"));
  EXPECT_TRUE(windows().FrmBfq->chkDisplayEntCard->isChecked()) << "flags before the broken one are set";
  EXPECT_FALSE(windows().FrmBfq->chkAutoPlay->isChecked()) << "nothing after it happens";
  EXPECT_TRUE(main().edServerIP->text().isEmpty());
  EXPECT_TRUE(main().companyid.empty());
  EXPECT_FALSE(main().isVisible());
  EXPECT_FALSE(login().btnlogin->isEnabled());

  // A reply that is not XML at all ends the handler the same way.
  emit login().swflogin->OnFSCommand("loadMainFlash", "<data><msg>");
  EXPECT_EQ(platform_.texts("error").size(), 2);
  EXPECT_FALSE(main().isVisible());
}

TEST_F(LoginWindow, OnlyExactlySetupSeesTheFtpSettings) {
  service_->addCompany({{"account", "lower"}, {"password", "pw"}, {"tvtype", "setup"}, {"ftp_addr", "ftp.example"},
                        {"ftp_password", "secret"}, {"domain", "http://site.example"}});
  createWindows();
  typeAndLogin("lower", "pw");
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().isVisible(); }, 15000));
  EXPECT_EQ(main().tvtype, "setup");
  for (QLineEdit* field : {main().edServerPath, main().edServerIP, main().edPort, main().edUserName, main().edPW,
                           main().edDomain}) {
    EXPECT_FALSE(field->isEnabled());
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
  }
  EXPECT_EQ(main().edServerIP->text(), "ftp.example") << "the real text stays behind the mask";
}

TEST(ExecutableFolder, TheLaunchedPathIsKeptSymlinksAndAll) {
  TempDir dir;
  std::filesystem::create_directories(dir / "stage");
  std::filesystem::create_symlink("/usr/bin/true", dir / "stage/kestrova");
  QString launched = QString::fromStdString((dir / "stage/kestrova").string());
  EXPECT_EQ(ui::ExecutableFolder(launched.toLocal8Bit().constData(), "/build/bin"),
            QString::fromStdString((dir / "stage").string()));
  EXPECT_EQ(ui::ExecutableFolder("kestrova", "/build/bin"), "/build/bin") << "started through PATH";
}

TEST(SingleInstance, ASecondCopyOnTheSameDisplayIsRefused) {
  TempDir runtime;
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.path().string()));
  std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
  ui::QtPlatform first, second;
  EXPECT_FALSE(first.anotherInstanceRunning());
  EXPECT_TRUE(second.anotherInstanceRunning());
  EXPECT_FALSE(first.anotherInstanceRunning()) << "the holder asks again";
}

}  // namespace
}  // namespace kestrova::test
