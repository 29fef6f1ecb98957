// A running desktop tool for window tests: the real kestrova-service with
// the demo company, a folder laid out as the tool expects (data/ from the
// template, the movie files naming the service), the seven windows, and the
// scripted platform layer.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>

#include "app_windows.h"
#include "frm_bfq.h"
#include "frm_mp.h"
#include "frm_passwd.h"
#include "frm_tb.h"
#include "login_form.h"
#include "main_form.h"
#include "process.h"
#include "scripted_platform.h"
#include "service_fixture.h"

namespace kestrova::test {

// A site that is never reachable and says nothing: the demo company's FTP
// settings name a local server that tests do not run, and the failed
// connection at sign-in would otherwise bring the upload panel forward.
class QuietSite : public catalogue::SiteSync {
 public:
  bool connectFtp() override { return false; }
  void deleteIfPresent(const std::string&, const std::string&) override {}
};

class DesktopFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the movie files naming address (the service unless told).
  void pointMoviesAt(const std::string& address);
  // Creates the windows (after the folder is ready), with the quiet site;
  // main().setSiteSync(nullptr) gives the window its real FTP connection.
  void createWindows();
  // Types the account and password and presses the login button.
  void typeAndLogin(const QString& account, const QString& password);
  // Signs in as the demo company and waits for the catalogue to arrive.
  void loginAndWaitForList(const QString& account = "demo", const QString& password = "demo");
  // Waits until the platform has shown text (any kind).
  bool waitForShown(const QString& text, int timeoutMs = 10000);
  // How many requests of this message type reached the service.
  int requestsSeen(const std::string& messageType) const;

  ui::TLoginForm& login() { return *windows_.LoginForm; }
  ui::TMainForm& main() { return *windows_.MainForm; }
  ui::AppWindows& windows() { return windows_; }
  std::filesystem::path dataPath() const { return folder_.path() / "data"; }
  QString cell(int row, int place) const;

  std::unique_ptr<ServiceProcess> service_;
  ScriptedPlatform platform_;
  QuietSite quietSite_;
  TempDir folder_;

 private:
  ui::AppWindows windows_;
  std::unique_ptr<ui::AppContext> context_;
  std::unique_ptr<ui::AppWindowSet> set_;
  std::filesystem::path previousFolder_;
};

}  // namespace kestrova::test
