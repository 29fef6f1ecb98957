// The platform layer on Qt: QMessageBox, QFileDialog, QColorDialog,
// QDesktopServices, QProcess, QClipboard and a per-user, per-display lock.
#pragma once

#include <QLockFile>
#include <memory>

#include "platform.h"

namespace kestrova::ui {

class QtPlatform : public Platform {
 public:
  void messageBox(const QString& text, const QString& caption) override;
  void warningBox(const QString& text, const QString& caption) override;
  void errorBoxYesOnly(const QString& text, const QString& caption) override;
  void messageBoxWithoutOwner(const QString& text, const QString& caption) override;
  bool askYesNo(const QString& text, const QString& caption) override;
  void showError(const QString& text) override;
  QString openFileName(QWidget* parent) override;
  QString openExistingFile(QWidget* parent, const QString& filter) override;
  std::optional<QColor> chooseColour(QWidget* parent, const QColor& initial) override;
  int execDialog(QDialog& dialog) override;
  void openAddress(const QUrl& address) override;
  bool startProgram(const QString& program, const QStringList& arguments) override;
  void copyToClipboard(const QString& text) override;
  bool anotherInstanceRunning() override;
  void endProgram() override;

 private:
  std::unique_ptr<QLockFile> instanceLock_;
};

// The lock file that marks a running copy for this user and display.
QString InstanceLockPath();

}  // namespace kestrova::ui
