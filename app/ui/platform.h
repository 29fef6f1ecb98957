// Everything the windows take from the desktop: message boxes, the file and
// colour dialogs, opening addresses, starting programs, the clipboard, running
// our own modal dialogs and the single-instance test. The program uses the Qt
// implementation; tests use one that records what was shown and answers as
// told, so nothing ever waits for a person.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QDialog;
class QWidget;

namespace kestrova::ui {

class Platform {
 public:
  virtual ~Platform() = default;

  // A modal box with an OK button.
  virtual void messageBox(const QString& text, const QString& caption) = 0;
  // The same with the exclamation icon.
  virtual void warningBox(const QString& text, const QString& caption) = 0;
  // A modal error box whose only button is Yes.
  virtual void errorBoxYesOnly(const QString& text, const QString& caption) = 0;
  // A modal box with an OK button that belongs to no window, so it stays up
  // whichever window is active.
  virtual void messageBoxWithoutOwner(const QString& text, const QString& caption) = 0;
  // A modal box with Yes and No; true for Yes.
  virtual bool askYesNo(const QString& text, const QString& caption) = 0;
  // The application's top-level error display: an error that escaped a
  // handler, shown with its own text; the program goes on.
  virtual void showError(const QString& text) = 0;

  // A file-open dialog without a filter; empty when the user cancels.
  virtual QString openFileName(QWidget* parent) = 0;
  // A file-open dialog for one existing file with a filter of
  // "Name|*.A;*.B|Name|..." pairs; empty when the user cancels.
  virtual QString openExistingFile(QWidget* parent, const QString& filter) = 0;
  // The colour dialog; nothing when the user cancels.
  virtual std::optional<QColor> chooseColour(QWidget* parent, const QColor& initial) = 0;
  // Runs one of our own dialogs modally and returns its result code.
  virtual int execDialog(QDialog& dialog) = 0;

  // Opens an address, file or folder with the desktop's default program.
  virtual void openAddress(const QUrl& address) = 0;
  // Starts a program without waiting for it; false when it cannot start.
  virtual bool startProgram(const QString& program, const QStringList& arguments) = 0;
  virtual void copyToClipboard(const QString& text) = 0;

  // True when another copy of the tool already runs for this user on this
  // display. The first caller holds the claim until the program ends.
  virtual bool anotherInstanceRunning() = 0;

  // Ends the program at once.
  virtual void endProgram() = 0;
};

}  // namespace kestrova::ui
