#include "qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include "app_title.h"

namespace kestrova::ui {

void QtPlatform::messageBox(const QString& text, const QString& caption) {
  QMessageBox::information(QApplication::activeWindow(), caption, text, QMessageBox::Ok);
}

void QtPlatform::warningBox(const QString& text, const QString& caption) {
  QMessageBox::warning(QApplication::activeWindow(), caption, text, QMessageBox::Ok);
}

void QtPlatform::errorBoxYesOnly(const QString& text, const QString& caption) {
  QMessageBox::critical(QApplication::activeWindow(), caption, text, QMessageBox::Yes);
}

void QtPlatform::messageBoxWithoutOwner(const QString& text, const QString& caption) {
  QMessageBox::information(nullptr, caption, text, QMessageBox::Ok);
}

bool QtPlatform::askYesNo(const QString& text, const QString& caption) {
  return QMessageBox::question(QApplication::activeWindow(), caption, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void QtPlatform::showError(const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), ApplicationTitle(), text, QMessageBox::Ok);
}

QString QtPlatform::openFileName(QWidget* parent) { return QFileDialog::getOpenFileName(parent); }

QString QtPlatform::openExistingFile(QWidget* parent, const QString& filter) {
  // "Name|patterns|Name|patterns" becomes Qt's "Name (patterns);;..." with
  // blanks between the patterns.
  QStringList parts = filter.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    filters << parts[i] + " (" + patterns.join(' ') + ")";
  }
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setNameFilters(filters);
  dialog.setSizeGripEnabled(true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

std::optional<QColor> QtPlatform::chooseColour(QWidget* parent, const QColor& initial) {
  QColor chosen = QColorDialog::getColor(initial, parent);
  if (!chosen.isValid()) return std::nullopt;
  return chosen;
}

int QtPlatform::execDialog(QDialog& dialog) { return dialog.exec(); }

void QtPlatform::openAddress(const QUrl& address) { QDesktopServices::openUrl(address); }

bool QtPlatform::startProgram(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

void QtPlatform::copyToClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }

QString InstanceLockPath() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  // One copy per desktop: the display (X11, Wayland or none) is part of the name.
  QByteArray display = qgetenv("DISPLAY") + "|" + qgetenv("WAYLAND_DISPLAY") + "|" +
                       QGuiApplication::platformName().toUtf8();
  QString tag = QString::fromLatin1(QCryptographicHash::hash(display, QCryptographicHash::Sha1).toHex().left(12));
  return folder + "/kestrova-TLoginForm-" + tag + ".lock";
}

bool QtPlatform::anotherInstanceRunning() {
  if (instanceLock_) return false;
  auto lock = std::make_unique<QLockFile>(InstanceLockPath());
  // A lock left by a copy that crashed is taken over (QLockFile checks the pid).
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return true;
  instanceLock_ = std::move(lock);
  return false;
}

void QtPlatform::endProgram() { QCoreApplication::exit(0); }

}  // namespace kestrova::ui
