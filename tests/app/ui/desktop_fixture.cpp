#include "desktop_fixture.h"


namespace kestrova::test {

namespace {

// One QApplication for the whole test program, offscreen.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "desktop_windows_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void DesktopFixture::SetUp() {
  service_ = std::make_unique<ServiceProcess>(ServiceProcess::Options{.seedDemo = true});
  std::filesystem::copy(std::filesystem::path(KESTROVA_SOURCE_DIR) / "web/template", dataPath(),
                        std::filesystem::copy_options::recursive);
  for (const char* sub : {"video", "zoom", "model"}) std::filesystem::create_directories(dataPath() / sub);
  pointMoviesAt(service_->baseUrl());
  // The movie files are looked up in the current folder.
  previousFolder_ = std::filesystem::current_path();
  std::filesystem::current_path(folder_.path());
}

void DesktopFixture::TearDown() {
  set_.reset();
  QApplication::processEvents();
  std::filesystem::current_path(previousFolder_);
}

void DesktopFixture::pointMoviesAt(const std::string& address) {
  WriteFile(folder_ / "login.dll", address + "\n");
  WriteFile(folder_ / "main.dll", address + "\n");
}

void DesktopFixture::createWindows() {
  context_ = std::make_unique<ui::AppContext>(
      ui::AppContext{platform_, windows_, QString::fromStdString(folder_.path().string())});
  set_ = std::make_unique<ui::AppWindowSet>(*context_);
  main().setSiteSync(&quietSite_);
  login().show();
}

void DesktopFixture::typeAndLogin(const QString& account, const QString& password) {
  login().edtaccount->setText(account);
  login().edtpassword->setText(password);
  QTest::mouseClick(login().btnlogin, Qt::LeftButton);
}

void DesktopFixture::loginAndWaitForList(const QString& account, const QString& password) {
  typeAndLogin(account, password);
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().isVisible(); }, 15000)) << platform_.texts().join("|").toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().lvFiles->rowCount() > 0; }, 15000));
}

bool DesktopFixture::waitForShown(const QString& text, int timeoutMs) {
  return QTest::qWaitFor(
      [&] {
        for (const auto& s : platform_.shown)
          if (s.text == text) return true;
        return false;
      },
      timeoutMs);
}

int DesktopFixture::requestsSeen(const std::string& messageType) const {
  std::string log = service_->log();
  std::string line = "POST /service " + messageType + " ";
  int count = 0;
  for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
  return count;
}

QString DesktopFixture::cell(int row, int place) const {
  QTableWidgetItem* item = windows_.MainForm->lvFiles->item(row, place);
  return item ? item->text() : QString();
}

}  // namespace kestrova::test
