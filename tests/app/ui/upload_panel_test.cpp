// The upload run through the main window: a company whose FTP settings name a
// real FTP server (pyftpdlib on loopback), files made in the data folder,
// and the run started, stopped and cut short by the window's buttons.
#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <QSettings>

#include "desktop_fixture.h"
#include "ftp_fixture.h"

namespace kestrova::test {
namespace {

struct Buttons {
  bool scan, upload2, testConn, pause;
  bool operator==(const Buttons&) const = default;
};
constexpr Buttons kIdle{true, true, true, false};
constexpr Buttons kRunning{false, false, false, true};

class UploadPanel : public DesktopFixture {
 protected:
  // Starts the site's server, adds a SETUP company pointing at it, and signs
  // in; the data folder is then empty (config.xml, written at sign-in, and
  // the template's logo and web player are removed).
  void signInToSite(FtpServerProcess::Options server = {}, const std::string& siteRoot = "/site") {
    ftp_ = std::make_unique<FtpServerProcess>(server);
    std::string companyId = service_->addCompany({{"account", "uploader"},
                          {"password", "pw"},
                          {"tvtype", "SETUP"},
                          {"ftp_addr", server.protocol == "ftp" ? "127.0.0.1" : server.protocol + "://127.0.0.1"},
                          {"ftp_port", std::to_string(ftp_->port())},
                          {"ftp_account", ftp_->user()},
                          {"ftp_password", ftp_->password()},
                          {"ftp_path", siteRoot},
                          {"domain", "http://127.0.0.1:9"}});
    for (const char* file : {"model/logo.gif", "index.js", "preview.html"}) std::filesystem::remove(dataPath() / file);
    createWindows();
    main().setSiteSync(nullptr);  // the window's own FTP connection
    typeAndLogin("uploader", "pw");
    ASSERT_TRUE(QTest::qWaitFor([&] { return main().isVisible(); }, 15000));
    // The movie's "ready" connects with the settings the sign-in brought.
    ASSERT_TRUE(QTest::qWaitFor([&] { return main().statmain->text() == QStringLiteral("已连接服务器！"); }, 15000))
        << main().statmain->text().toStdString() << " " << platform_.texts().join("|").toStdString();
    // The catalogue's arrival rewrites config.xml with the company's id.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ReadFile(dataPath() / "config.xml").find(">" + companyId + "<") != std::string::npos; }, 15000))
        << ReadFile(dataPath() / "config.xml") << platform_.texts("error").join("|").toStdString();
    std::filesystem::remove(dataPath() / "config.xml");
  }

  void localFile(const std::string& relative, const std::string& content) {
    WriteFile(dataPath() / relative, content);
  }
  std::filesystem::path onServer(const std::string& relative) const { return ftp_->root() / "site" / relative; }

  Buttons buttons() {
    return {main().btnscan->isEnabled(), main().btnUpload2->isEnabled(), main().btntestConn->isEnabled(),
            main().btnpauseupload->isEnabled()};
  }
  QString status() { return main().statmain->text(); }
  bool waitForStatusStart(const QString& start, int timeoutMs = 20000) {
    return QTest::qWaitFor([&] { return status().startsWith(start); }, timeoutMs);
  }
  int timesShown(const QString& text) const {
    int count = 0;
    for (const auto& s : platform_.shown) count += s.text == text;
    return count;
  }

  std::unique_ptr<FtpServerProcess> ftp_;
};

// Binary content with every byte value, so a text-mode transfer would show.
std::string EveryByte(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
  return bytes;
}

// Answers the trust box (a real modal box) with the button captioned answer
// whenever one is up, and keeps what it asked.
class TrustBoxAnswerer {
 public:
  explicit TrustBoxAnswerer(const QString& answer) {
    QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QAbstractButton* button : box->buttons())
        if (button->text() == answer) {
          asked.push_back(box->text());
          button->click();
          return;
        }
    });
    timer_.start(50);
  }
  QStringList asked;

 private:
  QTimer timer_;
};

TEST_F(UploadPanel, AnUntrustedCertificateIsPutToTheUserWhoTrustsItForGood) {
  TempDir trustFolder;
  setenv("XDG_CONFIG_HOME", trustFolder.path().c_str(), 1);
  TrustBoxAnswerer answerer(QStringLiteral("永久信任"));
  signInToSite({.protocol = "ftps"});  // a certificate of a CA made for the test
  ASSERT_EQ(answerer.asked.size(), 1) << answerer.asked.join("|").toStdString();
  EXPECT_TRUE(answerer.asked[0].contains("SHA256:")) << answerer.asked[0].toStdString();
  EXPECT_TRUE(std::filesystem::exists(trustFolder / "kestrova/trusted_certificates"));
  EXPECT_TRUE(main().lblPlainFtp->isHidden());

  // Trusted for good: the test button connects without asking again.
  QTest::mouseClick(main().btntestConn, Qt::LeftButton);
  EXPECT_TRUE(waitForShown(QStringLiteral("成功连接到服务器！")));
  EXPECT_EQ(answerer.asked.size(), 1);
  unsetenv("XDG_CONFIG_HOME");
}

TEST_F(UploadPanel, ScanAndUploadListsWorksOffAndStoresEveryChangedFile) {
  ASSERT_NO_FATAL_FAILURE(signInToSite());
  const std::string a = EveryByte(300000), b = "bbb", c = EveryByte(1000);
  localFile("video/a.mp4", a);
  localFile("video/b.mp4", b);
  localFile("zoom/c.jpg", c);
  localFile("notes.txt", "not in the filter");

  // Each row as it goes into transfer: the whole row and the buttons then.
  QStringList inTransfer;
  std::vector<Buttons> buttonsInTransfer;
  QStringList firstRow;
  int mostRows = 0;
  QTreeWidget* list = main().lvlist;
  QObject::connect(list->model(), &QAbstractItemModel::dataChanged, list, [&] {
    mostRows = std::max(mostRows, list->topLevelItemCount());
    QTreeWidgetItem* top = list->topLevelItem(0);
    if (!top || top->text(6) != QStringLiteral("上传ing") || inTransfer.contains(top->text(0))) return;
    inTransfer << top->text(0);
    buttonsInTransfer.push_back(buttons());
    if (firstRow.isEmpty())
      for (int c = 0; c < 8; ++c) firstRow << top->text(c);
  });

  EXPECT_EQ(buttons(), (Buttons{true, true, true, true})) << "all four enabled at start";
  QTest::mouseClick(main().btnscan, Qt::LeftButton);
  EXPECT_EQ(buttons(), kRunning);
  ASSERT_TRUE(waitForShown(QStringLiteral("文件上传完毕"), 30000)) << platform_.texts().join("|").toStdString();

  EXPECT_EQ(inTransfer, (QStringList{"a.mp4", "b.mp4", "c.jpg"}));
  EXPECT_EQ(mostRows, 3);
  for (const Buttons& during : buttonsInTransfer) EXPECT_EQ(during, kRunning);
  ASSERT_EQ(firstRow.size(), 8);
  EXPECT_EQ(firstRow[2].toStdString(), (dataPath() / "video/a.mp4").string());
  EXPECT_EQ(firstRow[3], QStringLiteral("上传"));
  EXPECT_EQ(firstRow[4], "/site/video/a.mp4");
  EXPECT_EQ(firstRow[7], "/site/video") << "the hidden server folder";

  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_EQ(status(), QStringLiteral("文件：c.jpg 上传完成"));
  EXPECT_EQ(buttons(), kIdle);
  const auto& closing = platform_.shown.back();
  EXPECT_EQ(closing.kind, "unowned");
  EXPECT_EQ(closing.caption, QStringLiteral("扫描并上传"));

  EXPECT_EQ(ReadFile(onServer("video/a.mp4")), a);
  EXPECT_EQ(ReadFile(onServer("video/b.mp4")), b);
  EXPECT_EQ(ReadFile(onServer("zoom/c.jpg")), c);
  EXPECT_FALSE(std::filesystem::exists(onServer("notes.txt")));
  QSettings record(QString::fromStdString((folder_.path() / "7in10.ini").string()), QSettings::IniFormat);
  EXPECT_FALSE(record.value("sys/createtime").toString().isEmpty());

  // The connection test is free again once the run is over.
  QTest::mouseClick(main().btntestConn, Qt::LeftButton);
  EXPECT_EQ(platform_.texts().back(), QStringLiteral("成功连接到服务器！"));
}

TEST_F(UploadPanel, StopDuringASlowFileLetsItFinishAndKeepsTheRestListed) {
  ASSERT_NO_FATAL_FAILURE(signInToSite({.uploadBytesPerSecond = 200 * 1024}));
  const std::string first = EveryByte(600 * 1024);
  localFile("video/1.mp4", first);
  localFile("video/2.mp4", "2");
  localFile("zoom/3.jpg", "3");
  const QString stopText = QStringLiteral("当前文件传输完成后，将自动停止上传操作，请稍候！！");

  // A stop asked for while idle is forgotten by the next run.
  QTest::mouseClick(main().btnpauseupload, Qt::LeftButton);
  EXPECT_EQ(timesShown(stopText), 1);

  // Started from the catalogue panel, the run brings the upload panel forward.
  main().btnspglClick();
  QTest::mouseClick(main().btnUpload2, Qt::LeftButton);
  EXPECT_TRUE(main().pnlspsc->isVisible());
  EXPECT_FALSE(main().pnlSpgl->isVisible());
  EXPECT_EQ(buttons(), kRunning);

  ASSERT_TRUE(waitForStatusStart(QStringLiteral("正在上传：1.mp4 当前进度："))) << status().toStdString();
  QTest::mouseClick(main().btnpauseupload, Qt::LeftButton);
  EXPECT_EQ(timesShown(stopText), 2);
  ASSERT_TRUE(waitForShown(QStringLiteral("文件上传完毕"), 30000));

  EXPECT_EQ(ReadFile(onServer("video/1.mp4")), first) << "the file in transfer completes";
  EXPECT_FALSE(std::filesystem::exists(onServer("video/2.mp4")));
  EXPECT_FALSE(std::filesystem::exists(onServer("zoom/3.jpg")));
  ASSERT_EQ(main().lvlist->topLevelItemCount(), 1);
  EXPECT_EQ(main().lvlist->topLevelItem(0)->text(0), "3.jpg");
  EXPECT_EQ(main().lvlist->topLevelItem(0)->text(6), QStringLiteral("等待ing"));
  EXPECT_EQ(buttons(), kIdle);
}

TEST_F(UploadPanel, AFailedStoreShowsTheYesOnlyErrorBoxThenTheClosingBox) {
  ASSERT_NO_FATAL_FAILURE(signInToSite({.storeRefusedFolders = {"site/video"}}));
  localFile("video/a.mp4", "a");
  localFile("zoom/b.jpg", "b");
  // An older server copy, which the failed store leaves serving.
  WriteFile(onServer("video/a.mp4"), "old");
  SetModificationTime(onServer("video/a.mp4"), "2020-01-01 00:00:00");
  QTest::mouseClick(main().btnscan, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("文件上传完毕"), 30000)) << platform_.texts().join("|").toStdString();

  auto error = std::find_if(platform_.shown.begin(), platform_.shown.end(),
                            [](const auto& s) { return s.text == QStringLiteral("上传文件发生错误！"); });
  ASSERT_NE(error, platform_.shown.end());
  EXPECT_EQ(error->kind, "yes-only");
  EXPECT_LT(error - platform_.shown.begin(), static_cast<long>(platform_.shown.size()) - 1) << "before the closing box";
  EXPECT_EQ(ReadFile(onServer("video/a.mp4")), "old");
  ASSERT_EQ(main().lvlist->topLevelItemCount(), 1) << "the row after the failed one stays";
  EXPECT_EQ(main().lvlist->topLevelItem(0)->text(0), "b.jpg");
  EXPECT_EQ(buttons(), kIdle);
}

TEST_F(UploadPanel, ClosingTheWindowDuringATransferEndsTheRunWithoutLeavingAPartialFile) {
  ASSERT_NO_FATAL_FAILURE(signInToSite({.uploadBytesPerSecond = 64 * 1024}));
  const std::string big = EveryByte(4 * 1024 * 1024);  // about a minute at this speed
  localFile("video/big.mp4", big);
  localFile("video/small.mp4", "s");
  QTest::mouseClick(main().btnscan, Qt::LeftButton);
  ASSERT_TRUE(waitForStatusStart(QStringLiteral("正在上传：big.mp4 当前进度：")));

  main().close();  // returns only once the run has ended

  EXPECT_TRUE(platform_.ended);
  EXPECT_EQ(buttons(), kIdle);
  EXPECT_EQ(timesShown(QStringLiteral("文件上传完毕")), 0) << "no box for a closing program";
  EXPECT_EQ(timesShown(QStringLiteral("上传文件发生错误！")), 0);
  if (std::filesystem::exists(onServer("video/big.mp4"))) {
    EXPECT_EQ(ReadFile(onServer("video/big.mp4")), big) << "a cut-off copy is deleted";
  }
  EXPECT_FALSE(std::filesystem::exists(onServer("video/small.mp4")));
  EXPECT_EQ(ReadFile(dataPath() / "video/big.mp4"), big);
}

TEST_F(UploadPanel, ClosingTheWindowFromTheRunsErrorBoxDoesNotWaitOnItself) {
  ASSERT_NO_FATAL_FAILURE(signInToSite({.storeRefusedFolders = {"site/video"}}));
  localFile("video/a.mp4", "a");
  localFile("zoom/b.jpg", "b");
  platform_.whileBoxShown = [&](const ScriptedPlatform::Shown& box) {
    if (box.text == QStringLiteral("上传文件发生错误！")) main().close();
  };
  QTest::mouseClick(main().btnscan, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return platform_.ended; }, 30000));
  // The run goes on to its end once the box's frame has returned.
  EXPECT_TRUE(QTest::qWaitFor([&] { return buttons() == kIdle; }, 30000));
  EXPECT_EQ(timesShown(QStringLiteral("文件上传完毕")), 0);
  EXPECT_FALSE(std::filesystem::exists(onServer("zoom/b.jpg")));
}

TEST_F(UploadPanel, EndingTheProgramDuringARunStillLetsTheWindowsGo) {
  ASSERT_NO_FATAL_FAILURE(signInToSite({.uploadBytesPerSecond = 64 * 1024}));
  localFile("video/big.mp4", EveryByte(4 * 1024 * 1024));
  QTest::mouseClick(main().btnscan, Qt::LeftButton);
  ASSERT_TRUE(waitForStatusStart(QStringLiteral("正在上传：big.mp4 当前进度：")));
  // The close button ends the program without asking the windows; the run
  // is finished when the windows are destroyed, here by the fixture's
  // tear-down, which must return.
  QTest::mouseClick(main().SpeedButton3, Qt::LeftButton);
  EXPECT_TRUE(platform_.ended);
}

TEST_F(UploadPanel, AtTheServersRootLongNamesAndDatesShowWholeWithTheFiguresInView) {
  ASSERT_NO_FATAL_FAILURE(signInToSite({.uploadBytesPerSecond = 256 * 1024}, "/"));
  const std::string name = "公司年会现场视频_" + std::string(70, 'x') + "_最终版.mp4";
  // Large enough that the throttled store stays in progress for a few
  // seconds, so the progress line is seen even on a busy machine.
  localFile("video/" + name, EveryByte(1200 * 1024));

  QStringList firstRow;
  std::vector<int> dateRoom;  // width needed by each date text, then the width its column has
  QString progressShown, progressFull;
  QTreeWidget* list = main().lvlist;
  QObject::connect(list->model(), &QAbstractItemModel::dataChanged, list, [&] {
    QTreeWidgetItem* row = list->topLevelItem(0);
    if (!firstRow.isEmpty() || !row || row->text(7).isEmpty()) return;
    for (int c = 0; c < 8; ++c) firstRow << row->text(c);
  });
  QTest::mouseClick(main().btnscan, Qt::LeftButton);
  ASSERT_TRUE(waitForStatusStart(QStringLiteral("正在上传："))) << status().toStdString();
  progressShown = status();
  progressFull = main().statmain->toolTip();
  for (int column : {1, 5}) {
    dateRoom.push_back(list->fontMetrics().horizontalAdvance(list->topLevelItem(0)->text(column)));
    dateRoom.push_back(list->columnWidth(column));
  }
  ASSERT_TRUE(waitForShown(QStringLiteral("文件上传完毕"), 30000)) << platform_.texts().join("|").toStdString();

  // The server path joins the root "/" without doubling it.
  ASSERT_EQ(firstRow.size(), 8);
  EXPECT_EQ(firstRow[4].toStdString(), "/video/" + name);
  EXPECT_EQ(firstRow[7], "/video");
  EXPECT_EQ(ReadFile(ftp_->root() / "video" / name), EveryByte(1200 * 1024));
  // Without a language (the test runs in C.UTF-8) dates read as on a Chinese desktop.
  QRegularExpression dateTime("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$");
  EXPECT_TRUE(dateTime.match(firstRow[1]).hasMatch()) << firstRow[1].toStdString();
  EXPECT_EQ(firstRow[5], "1970/01/01");
  for (size_t i = 0; i < dateRoom.size(); i += 2) EXPECT_LT(dateRoom[i], dateRoom[i + 1]) << "date column " << i / 2;
  // The long name is shortened; the figures and the percentage stay in view.
  QLabel* line = main().statmain;
  EXPECT_LE(line->fontMetrics().horizontalAdvance(progressShown), line->contentsRect().width())
      << progressShown.toStdString();
  EXPECT_TRUE(progressShown.contains(QStringLiteral("…"))) << progressShown.toStdString();
  EXPECT_TRUE(progressShown.endsWith('%')) << progressShown.toStdString();
  EXPECT_TRUE(progressShown.contains(QStringLiteral(" 当前进度：")));
  EXPECT_TRUE(progressFull.startsWith(QStringLiteral("正在上传：") + QString::fromStdString(name) + " 当前进度："))
      << "the whole text on hover: " << progressFull.toStdString();
}

}  // namespace
}  // namespace kestrova::test
