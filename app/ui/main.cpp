// kestrova: the desktop tool. One copy per desktop; the seven windows are
// created at start and kept; the login window comes first.
#include <QApplication>

#include "app_title.h"
#include "app_windows.h"
#include "chinese_translations.h"
#include "executable_folder.h"
#include "login_form.h"
#include "qt_platform.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The program ends when the login window or the main window is closed,
  // not when the login window is hidden after signing in.
  QApplication::setQuitOnLastWindowClosed(false);
  // Before any box or dialog exists: their buttons take their texts when made.
  kestrova::ui::InstallChineseTranslations(application);

  kestrova::ui::QtPlatform platform;
  if (platform.anotherInstanceRunning()) {
    platform.messageBox(QStringLiteral("该程序已经有一个在运行中！"), QStringLiteral("运行"));
    return 0;
  }
  kestrova::ui::SetApplicationTitle(QStringLiteral("ZorvaneKestrova 2010"));

  kestrova::ui::AppWindows windows;
  kestrova::ui::AppContext context{platform, windows,
                                   kestrova::ui::ExecutableFolder(argv[0], QCoreApplication::applicationDirPath())};
  kestrova::ui::AppWindowSet created(context);
  windows.LoginForm->show();
  return application.exec();
}
