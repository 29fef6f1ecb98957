// The frame around the panels: switching panels, closing, dragging.
#include <QMouseEvent>

#include "desktop_fixture.h"

namespace kestrova::test {
namespace {

using MainFrame = DesktopFixture;

void SendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
  QPointF global = target->mapToGlobal(QPointF(local));
  QMouseEvent event(type, QPointF(local), global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

TEST_F(MainFrame, PanelsSwitchAndTheToolbarButtonsFollow) {
  createWindows();
  loginAndWaitForList();
  EXPECT_TRUE(main().pnlSpgl->isVisible());
  EXPECT_FALSE(main().pnlspsc->isVisible());
  EXPECT_FALSE(main().btnspgl->isEnabled());
  QTest::mouseClick(main().btnspsc, Qt::LeftButton);
  EXPECT_TRUE(main().pnlspsc->isVisible());
  EXPECT_FALSE(main().pnlSpgl->isVisible());
  EXPECT_TRUE(main().btnspgl->isEnabled());
  EXPECT_FALSE(main().btnspsc->isEnabled());
  QTest::mouseClick(main().btnspgl, Qt::LeftButton);
  EXPECT_TRUE(main().pnlSpgl->isVisible());
  EXPECT_EQ(main().btnspgl->toolTip(), QStringLiteral("对已转换成功的视频进行操作与管理"));
  EXPECT_EQ(main().btnxzsp->toolTip(), QStringLiteral("点击新增一个/多个视频文件"));
}

TEST_F(MainFrame, ClosingEitherWindowEndsTheProgram) {
  createWindows();
  QTest::mouseClick(login().btncancel, Qt::LeftButton);
  EXPECT_TRUE(platform_.ended);
  platform_.ended = false;
  main().show();
  main().close();
  EXPECT_TRUE(platform_.ended);
  platform_.ended = false;
  QTest::mouseClick(main().SpeedButton3, Qt::LeftButton);
  EXPECT_TRUE(platform_.ended);
}

TEST_F(MainFrame, BackgroundPicturesDragTheWindow) {
  createWindows();
  QPoint start = login().pos();
  SendMouse(login().Image4, QEvent::MouseButtonPress, QPoint(20, 200), Qt::LeftButton);
  SendMouse(login().Image4, QEvent::MouseMove, QPoint(70, 230), Qt::LeftButton);
  SendMouse(login().Image4, QEvent::MouseButtonRelease, QPoint(70, 230), Qt::NoButton);
  EXPECT_EQ(login().pos() - start, QPoint(50, 30));
}

TEST_F(MainFrame, LinksOpenTheServiceSitePages) {
  createWindows();
  QTest::mouseClick(login().Label1, Qt::LeftButton);
  QTest::mouseClick(login().Label2, Qt::LeftButton);
  ASSERT_EQ(platform_.opened.size(), 2u);
  EXPECT_EQ(platform_.opened[0].toString().toStdString(), service_->baseUrl() + "/member/");
  EXPECT_EQ(platform_.opened[1].toString().toStdString(), service_->baseUrl() + "/member/getentpwd.php");
}

}  // namespace
}  // namespace kestrova::test
