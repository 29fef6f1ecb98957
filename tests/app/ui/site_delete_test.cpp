// Deleting a video from a real FTP site (pyftpdlib on loopback), and the
// thumbnail fetched from the site over HTTP when there is no local copy.
#include "catalogue_rows.h"
#include "desktop_fixture.h"

namespace kestrova::test {
namespace {

using catalogue::kCellFileName;

class SiteOnLoopback : public DesktopFixture {
 protected:
  void SetUp() override {
    DesktopFixture::SetUp();
    std::filesystem::create_directories(site_ / "video");
    std::filesystem::create_directories(site_ / "zoom");
    ftpPort_ = FreeTcpPort();
    ftp_ = ChildProcess({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(ftpPort_), "-w",
                         "-d", site_.path().string(), "-u", "site", "-P", "pw"},
                        folder_ / "ftp.log");
    ASSERT_TRUE(WaitForTcpPort(ftpPort_)) << ftp_.log();
    httpPort_ = FreeTcpPort();
    http_ = ChildProcess({"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", std::to_string(httpPort_),
                          "--directory", site_.path().string()},
                         folder_ / "http.log");
    ASSERT_TRUE(WaitForTcpPort(httpPort_)) << http_.log();
  }

  // The demo company may edit its settings: point them at this site.
  void pointSettingsAtSite() {
    main().setSiteSync(nullptr);
    main().edServerIP->setText("127.0.0.1");
    main().edPort->setText(QString::number(ftpPort_));
    main().edUserName->setText("site");
    main().edPW->setText("pw");
    main().edServerPath->setText(" / ");
    main().edDomain->setText(QString("http://127.0.0.1:%1").arg(httpPort_));
  }

  TempDir site_;
  int ftpPort_ = 0, httpPort_ = 0;
  ChildProcess ftp_, http_;
};

TEST_F(SiteOnLoopback, DeleteRemovesTheServerCopiesAndTheCatalogueEntry) {
  createWindows();
  loginAndWaitForList();
  pointSettingsAtSite();
  std::string base = cell(0, kCellFileName).section('.', 0, 0).toStdString();
  WriteFile(site_ / "video" / (base + ".html"), "served video");
  WriteFile(site_ / "zoom" / (base + ".jpg"), "served thumb");
  WriteFile(site_ / "video" / "other.html", "someone else's");
  WriteFile(dataPath() / "video" / (base + ".html"), "local video");
  main().lvFiles->selectRow(0);
  platform_.yesNoAnswers = {true};
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("删除成功！"))) << platform_.texts().join("|").toStdString()
                                                         << platform_.texts("error").join("|").toStdString();
  EXPECT_FALSE(std::filesystem::exists(site_ / "video" / (base + ".html")));
  EXPECT_FALSE(std::filesystem::exists(site_ / "zoom" / (base + ".jpg")));
  EXPECT_TRUE(std::filesystem::exists(site_ / "video" / "other.html"));
  EXPECT_FALSE(std::filesystem::exists(dataPath() / "video" / (base + ".html")));
  EXPECT_EQ(main().edServerPath->text(), "/") << "the root is trimmed at connection";
  EXPECT_TRUE(QTest::qWaitFor([&] { return main().lvFiles->rowCount() == 2; }, 5000));
}

TEST_F(SiteOnLoopback, MissingVideoFolderOnTheServerStopsTheDelete) {
  createWindows();
  loginAndWaitForList();
  pointSettingsAtSite();
  std::filesystem::remove_all(site_ / "video");
  platform_.yesNoAnswers = {true};
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  EXPECT_EQ(platform_.texts("error").size(), 1);
  QTest::qWait(300);
  EXPECT_EQ(requestsSeen("delUploadFile"), 0);
  EXPECT_EQ(main().lvFiles->rowCount(), 3);
}

TEST_F(SiteOnLoopback, WrongFtpPasswordIsReportedAndNothingDeleted) {
  createWindows();
  loginAndWaitForList();
  pointSettingsAtSite();
  main().edPW->setText("wrong");
  WriteFile(dataPath() / "video" / (cell(0, kCellFileName).toStdString()), "local video");
  size_t before = platform_.texts().size();
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  EXPECT_GT(platform_.texts().size(), before) << "the connection reports its own failure";
  EXPECT_TRUE(platform_.texts("question").isEmpty()) << "no confirmation without a connection";
  EXPECT_TRUE(std::filesystem::exists(dataPath() / "video" / (cell(0, kCellFileName).toStdString())));
}

TEST_F(SiteOnLoopback, ThumbnailComesFromTheSiteWhenThereIsNoLocalCopy) {
  createWindows();
  loginAndWaitForList();
  pointSettingsAtSite();
  std::string base = cell(1, kCellFileName).section('.', 0, 0).toStdString();
  QImage picture(120, 90, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  ASSERT_TRUE(picture.save(QString::fromStdString((site_ / "zoom" / (base + ".jpg")).string()), "JPG"));
  main().lvFiles->selectRow(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !main().imgZoom->pixmap().isNull(); }, 5000));
  EXPECT_GT(qBlue(main().imgZoom->pixmap().toImage().pixel(60, 45)), 200);
  EXPECT_FALSE(std::filesystem::exists(dataPath() / "zoom" / (base + ".jpg"))) << "not stored";

  // A missing picture on the site keeps the one shown, silently.
  main().lvFiles->selectRow(2);
  QTest::qWait(500);
  EXPECT_GT(qBlue(main().imgZoom->pixmap().toImage().pixel(60, 45)), 200);
  EXPECT_TRUE(platform_.texts("error").isEmpty());
}

}  // namespace
}  // namespace kestrova::test
