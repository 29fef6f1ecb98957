// kestrova-tour: starts the tool's windows exactly as `kestrova` does and
// walks through them the way a user would, for the README's screenshots and
// the start-up benchmark. Boxes and dialogs never wait: they are reported on
// the terminal instead.
//
//   kestrova-tour --screenshots DIR [--account A --password P] [--sample VIDEO]
//   kestrova-tour --timings [--account A --password P] [--videos N]
//
// Start it from a staged folder (./kestrova-tour beside ./kestrova), which
// holds login.dll/main.dll (the service address) and data/. --timings counts from KESTROVA_LAUNCH_NS (nanoseconds since the
// epoch, set by the caller just before starting the program) when given.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "app_title.h"
#include "app_windows.h"
#include "chinese_translations.h"
#include "executable_folder.h"
#include "frm_bfq.h"
#include "frm_main.h"
#include "frm_option.h"
#include "frm_mp.h"
#include "frm_passwd.h"
#include "frm_tb.h"
#include "login_form.h"
#include "main_form.h"
#include "qt_platform.h"

namespace {

using namespace kestrova::ui;

class TourPlatform : public QtPlatform {
 public:
  void messageBox(const QString& text, const QString& caption) override {
    std::fprintf(stderr, "tour: box [%s] %s\n", qPrintable(caption), qPrintable(text));
  }
  void warningBox(const QString& text, const QString& caption) override { messageBox(text, caption); }
  bool askYesNo(const QString& text, const QString&) override {
    std::fprintf(stderr, "tour: question %s -> No\n", qPrintable(text));
    return false;
  }
  void showError(const QString& text) override { std::fprintf(stderr, "tour: error %s\n", qPrintable(text)); }
  int execDialog(QDialog&) override { return QDialog::Rejected; }
  void openAddress(const QUrl& address) override {
    std::fprintf(stderr, "tour: open %s\n", qPrintable(address.toString()));
  }
  bool anotherInstanceRunning() override { return false; }
  void endProgram() override {}
};

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Polls without sleeping, so the moment is caught to the millisecond.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

QString Argument(const QStringList& args, const QString& name, const QString& fallback) {
  int at = args.indexOf(name);
  return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

bool Save(QWidget* window, const QString& folder, const QString& name) {
  QTest::qWait(150);  // let pending paints and fetched pictures land
  QString path = QDir(folder).filePath(name);
  bool saved = window->grab().save(path, "PNG");
  std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  double launched = NowSeconds();
  if (const char* ns = std::getenv("KESTROVA_LAUNCH_NS")) launched = std::strtod(ns, nullptr) / 1e9;

  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  kestrova::ui::InstallChineseTranslations(application);
  QStringList args = QCoreApplication::arguments();
  QString account = Argument(args, "--account", "demo");
  QString password = Argument(args, "--password", "demo");
  int videos = Argument(args, "--videos", "0").toInt();

  TourPlatform platform;
  SetApplicationTitle(QStringLiteral("ZorvaneKestrova 2010"));
  AppWindows windows;
  AppContext context{platform, windows, ExecutableFolder(argv[0], QCoreApplication::applicationDirPath())};
  AppWindowSet created(context);
  TLoginForm& login = *windows.LoginForm;
  TMainForm& main = *windows.MainForm;
  login.show();
  if (!QTest::qWaitForWindowExposed(&login)) return 2;
  double loginShown = NowSeconds();

  login.edtaccount->setText(account);
  login.edtpassword->setText(password);

  if (args.contains("--timings")) {
    double replyAt = 0, mainShownAt = 0, listFilledAt = 0;
    QObject::connect(login.swflogin, &kestrova::service::ServiceMovie::OnFSCommand, [&] {
      replyAt = NowSeconds();
      mainShownAt = replyAt;  // the login handler has shown the main window by now
    });
    // Runs after the window's own handler has filled the list.
    QObject::connect(main.swfMain, &kestrova::service::ServiceMovie::OnFSCommand, [&](const QString& command) {
      if (command.compare("getByCompIdVideoList", Qt::CaseInsensitive) == 0) listFilledAt = NowSeconds();
    });
    double clicked = NowSeconds();
    login.btnloginClick();
    bool shown = WaitUntil(
        [&] {
          return main.isVisible() && main.lvFiles->rowCount() >= std::max(1, videos) &&
                 !main.lvFiles->selectionModel()->selectedRows().isEmpty();
        },
        60000);
    if (!shown) {
      std::fprintf(stderr, "tour: the catalogue did not arrive\n");
      return 3;
    }
    // One more round of events so the filled list is painted.
    QCoreApplication::processEvents();
    main.repaint();
    double listShown = NowSeconds();
    std::printf("launch_to_login_shown_ms %.1f\n", (loginShown - launched) * 1000);
    std::printf("login_click_to_reply_ms %.1f\n", (replyAt - clicked) * 1000);
    std::printf("login_reply_to_catalogue_shown_ms %.1f\n", (listShown - replyAt) * 1000);
    std::printf("  main_shown_to_list_filled_ms %.1f\n", (listFilledAt - mainShownAt) * 1000);
    std::printf("  list_filled_to_painted_ms %.1f\n", (listShown - listFilledAt) * 1000);
    std::printf("catalogue_rows %d\n", main.lvFiles->rowCount());
    return 0;
  }

  QString folder = Argument(args, "--screenshots", "");
  if (folder.isEmpty()) {
    std::fprintf(stderr, "usage: kestrova-tour --screenshots DIR | --timings\n");
    return 1;
  }
  QDir().mkpath(folder);
  bool ok = Save(&login, folder, "login.png");
  login.btnloginClick();
  if (!WaitUntil([&] { return main.isVisible() && main.lvFiles->rowCount() > 0; }, 30000)) {
    std::fprintf(stderr, "tour: the catalogue did not arrive\n");
    return 3;
  }
  if (!QTest::qWaitForWindowExposed(&main)) std::cerr << "tour: the main window was not shown in time\n";
  QTest::qWait(800);  // thumbnails and the service page
  // Without a reachable FTP site the sign-in brings the upload panel forward.
  if (!main.pnlSpgl->isVisible()) main.btnspglClick();
  ok &= Save(&main, folder, "main-catalogue.png");
  main.btnspscClick();
  ok &= Save(&main, folder, "main-sync.png");
  main.btnspglClick();
  QDialog* dialogs[] = {windows.FrmMp, windows.FrmBfq, windows.FrmTb, windows.FrmPasswd};
  const char* names[] = {"company-card.png", "player-settings.png", "logo.png", "password.png"};
  for (int i = 0; i < 4; ++i) {
    dialogs[i]->show();
    if (!QTest::qWaitForWindowExposed(dialogs[i])) std::cerr << "tour: " << names[i] << " was not shown in time\n";
    ok &= Save(dialogs[i], folder, names[i]);
    dialogs[i]->hide();
  }
  // The conversion dialogs: the empty batch, and the options for a sample
  // video with a picture a second in.
  TfrmMain& batch = *windows.frmMain;
  batch.show();
  (void)QTest::qWaitForWindowExposed(&batch);
  ok &= Save(&batch, folder, "conversion-batch.png");
  const QString sample = Argument(args, "--sample", "");
  media::TAVProbe& probe = batch.Vexmo.Probe();
  if (!sample.isEmpty() && batch.Vexmo.LoadLibraries(QDir(context.executableFolder).filePath("LibAV/").toStdString()) &&
      probe.OpenFile(sample.toStdString())) {
    TfrmOption options(context, &batch);
    options.setupProbe(probe);
    options.show();
    (void)QTest::qWaitForWindowExposed(&options);
    options.TrackBar1->setValue(options.TrackBar1->maximum() / 4);
    options.btnStartPicClick();
    ok &= Save(&options, folder, "conversion-options.png");
    options.reject();
    probe.CloseFile();
  }
  batch.hide();
  return ok ? 0 : 4;
}
