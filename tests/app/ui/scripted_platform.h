// The platform layer for window tests: every box, dialog and desktop call is
// recorded, and answered from queues the test fills (No, cancel and
// Rejected when a queue is empty), so no test ever waits for a person.
#pragma once

#include <QDialog>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform.h"

namespace kestrova::test {

class ScriptedPlatform : public ui::Platform {
 public:
  struct Shown {
    QString kind;  // "message", "warning", "yes-only", "unowned", "question" or "error"
    QString text;
    QString caption;
  };

  void messageBox(const QString& text, const QString& caption) override { show({"message", text, caption}); }
  void warningBox(const QString& text, const QString& caption) override { show({"warning", text, caption}); }
  void errorBoxYesOnly(const QString& text, const QString& caption) override { show({"yes-only", text, caption}); }
  void messageBoxWithoutOwner(const QString& text, const QString& caption) override {
    show({"unowned", text, caption});
  }
  bool askYesNo(const QString& text, const QString& caption) override {
    shown.push_back({"question", text, caption});
    return pop(yesNoAnswers, false);
  }
  void showError(const QString& text) override { shown.push_back({"error", text, {}}); }
  QString openFileName(QWidget*) override { return pop(fileAnswers, QString()); }
  QString openExistingFile(QWidget*, const QString& filter) override {
    fileFilters << filter;
    return pop(fileAnswers, QString());
  }
  std::optional<QColor> chooseColour(QWidget*, const QColor&) override {
    return pop(colourAnswers, std::optional<QColor>());
  }
  int execDialog(QDialog& dialog) override {
    dialogsRun.push_back(dialog.objectName());
    auto script = pop(dialogScripts, std::function<int(QDialog&)>());
    return script ? script(dialog) : int(QDialog::Rejected);
  }
  void openAddress(const QUrl& address) override { opened.push_back(address); }
  bool startProgram(const QString& program, const QStringList& arguments) override {
    started.push_back(program + " " + arguments.join(' '));
    return true;
  }
  void copyToClipboard(const QString& text) override { clipboard = text; }
  bool anotherInstanceRunning() override { return false; }
  void endProgram() override { ended = true; }

  // The texts shown of one kind, in order.
  QStringList texts(const QString& kind = "message") const {
    QStringList out;
    for (const Shown& s : shown)
      if (s.kind == kind) out << s.text;
    return out;
  }

  std::vector<Shown> shown;
  std::deque<bool> yesNoAnswers;
  std::deque<QString> fileAnswers;
  QStringList fileFilters;
  std::deque<std::optional<QColor>> colourAnswers;
  std::deque<std::function<int(QDialog&)>> dialogScripts;
  QStringList dialogsRun;
  std::vector<QUrl> opened;
  QStringList started;
  QString clipboard;
  bool ended = false;
  // Runs while a box is up, as a user acting before dismissing it would.
  std::function<void(const Shown&)> whileBoxShown;

 private:
  void show(const Shown& box) {
    shown.push_back(box);
    if (whileBoxShown) whileBoxShown(box);
  }
  template <class T>
  static T pop(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
  }
};

}  // namespace kestrova::test
