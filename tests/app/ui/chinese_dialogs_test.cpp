// Qt's standard buttons and dialogs through the real platform layer read in
// Chinese whatever the desktop's language. Run once with a Chinese locale
// and once with C.UTF-8 (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <functional>

#include "chinese_translations.h"
#include "qt_platform.h"

namespace kestrova::ui {
namespace {

class ChineseDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "chinese_dialogs_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
    translated_ = InstallChineseTranslations(*app_);
  }

  // Runs show (which opens a modal box or dialog), reads the modal widget
  // once it is up and closes it. The texts are those read.
  QStringList whileModal(const std::function<void()>& show, const std::function<QStringList(QWidget&)>& read) {
    QStringList texts;
    std::function<void()> poll = [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) {
        QTimer::singleShot(10, poll);
        return;
      }
      texts = read(*modal);
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    };
    QTimer::singleShot(0, poll);
    show();
    return texts;
  }

  static QStringList ButtonTexts(QWidget& box) {
    QStringList texts;
    for (QAbstractButton* button : box.findChildren<QAbstractButton*>())
      // Without the keyboard mnemonic: "是(&Y)" reads "是".
      if (button->isVisible() && !button->text().isEmpty())
        texts << button->text().remove(QRegularExpression("\\(&.\\)")).remove('&');
    texts.sort();
    return texts;
  }

  static inline QApplication* app_ = nullptr;
  static inline bool translated_ = false;
  QtPlatform platform_;
};

TEST_F(ChineseDialogs, StandardButtonsAndDialogTitlesAreChinese) {
  ASSERT_TRUE(translated_) << "Qt's Chinese translations are missing (qt6-translations-l10n)";
  EXPECT_EQ(whileModal([&] { platform_.messageBox("文本", "标题"); }, ButtonTexts), QStringList{"确定"});
  EXPECT_EQ(whileModal([&] { platform_.errorBoxYesOnly("文本", "标题"); }, ButtonTexts), QStringList{"是"});
  EXPECT_EQ(whileModal([&] { platform_.askYesNo("文本", "标题"); }, ButtonTexts), (QStringList{"否", "是"}));

  auto title = [](QWidget& dialog) { return QStringList{dialog.windowTitle()}; };
  QStringList fileDialog = whileModal([&] { platform_.openFileName(nullptr); },
                                      [&](QWidget& dialog) { return title(dialog) + ButtonTexts(dialog); });
  EXPECT_TRUE(fileDialog.contains("打开")) << fileDialog.join("|").toStdString();
  EXPECT_TRUE(fileDialog.contains("取消")) << fileDialog.join("|").toStdString();
  QStringList colourDialog = whileModal([&] { platform_.chooseColour(nullptr, Qt::red); },
                                        [&](QWidget& dialog) { return title(dialog) + ButtonTexts(dialog); });
  EXPECT_TRUE(colourDialog.contains("选择颜色")) << colourDialog.join("|").toStdString();
  EXPECT_TRUE(colourDialog.contains("确定")) << colourDialog.join("|").toStdString();
}

}  // namespace
}  // namespace kestrova::ui
