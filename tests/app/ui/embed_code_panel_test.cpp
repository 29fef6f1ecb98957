// The embed code on the catalogue panel: which controls feed the query, the
// colour pictures, copying and previewing.
#include "desktop_fixture.h"

namespace kestrova::test {
namespace {

using EmbedCodePanel = DesktopFixture;

void ClearFlags(ui::TMainForm& form) {
  for (QCheckBox* box : {form.chkDisplayEntCard, form.chkDisplayZhimo, form.chkAutoPlay, form.chkAutocre,
                         form.chkDisplayLogo}) {
    if (box->isChecked()) QTest::mouseClick(box, Qt::LeftButton);
  }
}

TEST_F(EmbedCodePanel, QueryFollowsTheControls) {
  createWindows();
  loginAndWaitForList();
  ui::TMainForm& form = main();
  ClearFlags(form);
  const std::string tail =
      "&playerwidth=400&playerheight=340&displaycard=False&displayRec=False&displayZhimo=False&displaylogo=False&"
      "autoplay=False&title=企业视频展示&titlebg=C92A27&titlefontcolor=FFFFFF&borderlinecolor=A67901";
  EXPECT_EQ(form.scriptQuery, "isfloor=True&isMulVideofiles=True" + tail);
  EXPECT_EQ(form.mmoScript->toPlainText().toStdString(), form.scriptText);
  EXPECT_NE(form.scriptText.find("src='http://127.0.0.1:8641/index.js?isfloor=True"), std::string::npos);

  std::string fileName = form.currentVideo.fileName;
  struct Case {
    int kind, mul;
    bool rowSelected;
    std::string query;
  } cases[] = {
      {1, 0, true, "isfloor=False&isMulVideofiles=True" + tail},
      {0, 1, true, "isfloor=True&filename=" + fileName + "&isMulVideofiles=False" + tail},
      {0, 1, false, "isfloor=True&isMulVideofiles=False" + tail},
      {1, 1, true, "isfloor=False&filename=" + fileName + "&isMulVideofiles=False" + tail},
  };
  for (const Case& c : cases) {
    if (c.rowSelected) {
      form.lvFiles->selectRow(0);
    } else {
      form.lvFiles->clearSelection();
    }
    form.cmbKind->setCurrentIndex(c.kind == 0 ? 1 : 0);  // make sure a change fires
    form.cmbKind->setCurrentIndex(c.kind);
    form.cmbMul->setCurrentIndex(c.mul == 0 ? 1 : 0);
    form.cmbMul->setCurrentIndex(c.mul);
    EXPECT_EQ(form.scriptQuery, c.query) << c.kind << c.mul << c.rowSelected;
  }

  // Each check box alone turns on its own key and no other.
  const struct {
    QCheckBox* box;
    const char* flags;
  } boxes[] = {
      {form.chkDisplayEntCard,
       "displaycard=True&displayRec=False&displayZhimo=False&displaylogo=False&autoplay=False"},
      {form.chkAutocre, "displaycard=False&displayRec=True&displayZhimo=False&displaylogo=False&autoplay=False"},
      {form.chkDisplayZhimo,
       "displaycard=False&displayRec=False&displayZhimo=True&displaylogo=False&autoplay=False"},
      {form.chkDisplayLogo, "displaycard=False&displayRec=False&displayZhimo=False&displaylogo=True&autoplay=False"},
      {form.chkAutoPlay, "displaycard=False&displayRec=False&displayZhimo=False&displaylogo=False&autoplay=True"},
  };
  form.lvFiles->selectRow(0);
  form.cmbKind->setCurrentIndex(0);
  form.cmbMul->setCurrentIndex(0);
  for (const auto& b : boxes) {
    ClearFlags(form);
    QTest::mouseClick(b.box, Qt::LeftButton);
    EXPECT_EQ(form.scriptQuery, std::string("isfloor=True&isMulVideofiles=True&playerwidth=400&playerheight=340&") +
                                    b.flags +
                                    "&title=企业视频展示&titlebg=C92A27&titlefontcolor=FFFFFF&borderlinecolor=A67901")
        << b.box->objectName().toStdString();
  }
}

TEST_F(EmbedCodePanel, ColoursPreviewAndCopy) {
  createWindows();
  loginAndWaitForList();
  ui::TMainForm& form = main();
  platform_.colourAnswers = {QColor(0, 255, 0), std::nullopt, QColor(0, 0, 255)};
  form.Image7Click();
  EXPECT_EQ(form.borderLineColor, "00FF00");
  form.Image7Click();  // cancelled
  EXPECT_EQ(form.borderLineColor, "00FF00");
  form.Image4Click();
  EXPECT_EQ(form.titleBgColor, "0000FF");
  EXPECT_EQ(form.edTitle->palette().color(QPalette::Base), QColor(0, 0, 255));
  EXPECT_NE(form.scriptQuery.find("&titlebg=0000FF&titlefontcolor=FFFFFF&borderlinecolor=00FF00"), std::string::npos);

  // Typing a width and previewing without leaving the field previews the
  // query as last built: the picture button takes no focus.
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.edWidth->setFocus();
  form.edWidth->setText("640");
  QTest::mouseClick(form.btnPre, Qt::LeftButton);
  ASSERT_EQ(platform_.opened.size(), 1u);
  QString preview = platform_.opened.back().toString();
  EXPECT_TRUE(preview.startsWith("http://127.0.0.1:8641/preview.html?isfloor=True")) << preview.toStdString();
  EXPECT_TRUE(preview.contains("playerwidth=400")) << preview.toStdString();

  // Copying moves the focus, which ends editing the width first.
  QTest::mouseClick(form.btnCopy, Qt::LeftButton);
  EXPECT_TRUE(platform_.clipboard.contains("playerwidth=640"));
  EXPECT_EQ(platform_.clipboard.toStdString(), form.scriptText);
}

}  // namespace
}  // namespace kestrova::test
