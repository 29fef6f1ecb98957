// The catalogue panel against the real service: the list, its selection,
// saving, deleting, the list fetched once per run, and config.xml.
#include <pugixml.hpp>

#include "catalogue_rows.h"
#include "desktop_fixture.h"
#include "site_sync.h"

namespace kestrova::test {
namespace {

using catalogue::kCellFileName;
using catalogue::kCellId;
using catalogue::kCellState;
using catalogue::kCellStateText;
using CataloguePanel = DesktopFixture;

// The site as the delete sees it: records what it is asked and refuses
// where told.
class RecordingSite : public catalogue::SiteSync {
 public:
  bool connectFtp() override {
    ++connects;
    return connected;
  }
  void deleteIfPresent(const std::string& folder, const std::string& name) override {
    calls.push_back(folder + " " + name);
    if (folder == refuseFolder) throw catalogue::SiteCommandError("550 " + folder + ": No such file or directory");
  }
  int connects = 0;
  bool connected = true;
  std::string refuseFolder;
  std::vector<std::string> calls;
};

std::vector<std::string> PublishedIds(const std::filesystem::path& config) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(config.c_str()));
  std::vector<std::string> ids;
  for (pugi::xml_node item : doc.child("root").child("videofilelist").children("item"))
    ids.push_back(item.attribute("id").value());
  return ids;
}

TEST_F(CataloguePanel, RefreshSelectsTheFirstRowAndWritesConfigXml) {
  createWindows();
  loginAndWaitForList();
  ASSERT_EQ(main().lvFiles->rowCount(), 3);
  EXPECT_EQ(main().lvFiles->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(main().lvFiles->currentRow(), 0);
  EXPECT_EQ(main().currentVideo.id, cell(0, kCellId).toStdString());
  EXPECT_EQ(main().edtTitle->text(), QString::fromStdString(main().currentVideo.title));
  EXPECT_EQ(main().cmbstate->currentText(), QStringLiteral("生效"));
  EXPECT_TRUE(main().btnspglsave->isEnabled());
  EXPECT_EQ(cell(2, kCellStateText), QStringLiteral("草稿"));

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((dataPath() / "config.xml").c_str()));
  EXPECT_STREQ(doc.child("root").child("productinfo").child_value("account"), "demo");
  EXPECT_STREQ(doc.child("root").child("videosetting").child_value("companyname"), "星禾数码科技有限公司");
  EXPECT_STREQ(doc.child("root").child("videosetting").child_value("chkDisplayLogo"), "True");
  EXPECT_EQ(PublishedIds(dataPath() / "config.xml"),
            (std::vector<std::string>{cell(0, kCellId).toStdString(), cell(1, kCellId).toStdString()}));

  // Selecting the draft row fills the fields with it.
  main().lvFiles->selectRow(2);
  EXPECT_EQ(main().currentVideo.state, "U");
  EXPECT_EQ(main().cmbstate->currentText(), QStringLiteral("草稿"));
}

TEST_F(CataloguePanel, ListIsRequestedOnceAcrossActivations) {
  createWindows();
  loginAndWaitForList();
  int readyStates = 0;
  QObject::connect(main().swfMain, &service::ServiceMovie::OnReadyStateChange, [&](int) { ++readyStates; });
  for (int i = 0; i < 5; ++i) {
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&main(), &activate);
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return readyStates == 5; }, 5000)) << readyStates;
  QTest::qWait(200);
  EXPECT_EQ(requestsSeen("getByCompIdVideoList"), 1);
  EXPECT_TRUE(main().listRequested);

  // The refresh button asks again; the list is refilled and written again.
  QTest::mouseClick(main().btnRefushVideoList, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return requestsSeen("getByCompIdVideoList") == 2; }, 5000));
}

TEST_F(CataloguePanel, SavingAsDraftSendsStateU) {
  createWindows();
  loginAndWaitForList();
  std::string id = main().currentVideo.id;
  // Markup characters in a title are carried as typed, not refused.
  main().edtTitle->setText(QStringLiteral("新标题 & \"引号\""));
  main().cmbstate->setCurrentIndex(main().cmbstate->findText(QStringLiteral("草稿")));
  QTest::mouseClick(main().btnspglsave, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("修改成功！")));
  EXPECT_EQ(main().currentVideo.state, "U");
  ASSERT_TRUE(QTest::qWaitFor([&] { return requestsSeen("getByCompIdVideoList") == 2; }, 5000));
  QTest::qWait(100);
  int row = main().lvFiles->findItems(QString::fromStdString(id), Qt::MatchExactly).value(0)->row();
  EXPECT_EQ(cell(row, kCellState), "U");
  EXPECT_EQ(cell(row, kCellStateText), QStringLiteral("草稿"));
  std::vector<std::string> published = PublishedIds(dataPath() / "config.xml");
  EXPECT_EQ(std::count(published.begin(), published.end(), id), 0);
}

TEST_F(CataloguePanel, DeleteAsksRemovesLocalAndServerFilesAndRefreshes) {
  createWindows();
  RecordingSite site;
  main().setSiteSync(&site);
  loginAndWaitForList();
  std::string base = cell(0, kCellFileName).section('.', 0, 0).toStdString();
  WriteFile(dataPath() / "video" / (base + ".html"), "video");  // no local thumbnail

  int connectsAtStart = site.connects;  // the main movie's "ready" connected once
  main().lvFiles->clearSelection();
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  EXPECT_EQ(platform_.texts().last(), QStringLiteral("请选择要删除的视频！"));
  EXPECT_EQ(site.connects, connectsAtStart);

  main().lvFiles->selectRow(0);
  platform_.yesNoAnswers = {false};
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  EXPECT_EQ(platform_.shown.back().text, QStringLiteral("您确定要删除？"));
  EXPECT_EQ(platform_.shown.back().caption, QStringLiteral("提示："));
  EXPECT_TRUE(std::filesystem::exists(dataPath() / "video" / (base + ".html")));

  platform_.yesNoAnswers = {true};
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  ASSERT_TRUE(waitForShown(QStringLiteral("删除成功！")));
  EXPECT_FALSE(std::filesystem::exists(dataPath() / "video" / (base + ".html")));
  EXPECT_EQ(site.calls, (std::vector<std::string>{"/video " + base + ".html", "/zoom " + base + ".jpg"}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return main().lvFiles->rowCount() == 2; }, 5000));
}

TEST_F(CataloguePanel, RefusedServerDeleteStopsBeforeTheBackEnd) {
  createWindows();
  RecordingSite site;
  site.refuseFolder = "/video";
  main().setSiteSync(&site);
  loginAndWaitForList();
  std::string base = cell(0, kCellFileName).section('.', 0, 0).toStdString();
  WriteFile(dataPath() / "zoom" / (base + ".jpg"), "thumb");
  platform_.yesNoAnswers = {true};
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  EXPECT_EQ(platform_.texts("error"), QStringList{"550 /video: No such file or directory"});
  EXPECT_FALSE(std::filesystem::exists(dataPath() / "zoom" / (base + ".jpg"))) << "local files go first";
  QTest::qWait(300);
  EXPECT_EQ(requestsSeen("delUploadFile"), 0);

  // Without a connection nothing is deleted and nothing asked.
  site.connected = false;
  size_t shown = platform_.shown.size();
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  EXPECT_EQ(platform_.shown.size(), shown);
}

TEST_F(CataloguePanel, AFileNameReachingOutsideTheDataFolderIsNeverDeleted) {
  createWindows();
  RecordingSite site;
  main().setSiteSync(&site);
  loginAndWaitForList();
  WriteFile(folder_ / "outside.html", "keep me");
  // A reply naming a file outside the data folder.
  std::string reply = "<data><msg><item id=\"1\" title=\"t\" duration=\"1\" fileName=\"../../outside.html\" "
                      "framerate=\"25\" fileSize=\"1\" sort=\"1\" createDate=\"d\" state=\"A\" memo=\"\" zhimo=\"\"/>"
                      "</msg></data>";
  emit main().swfMain->OnFSCommand("getByCompIdVideoList", QString::fromStdString(reply));
  ASSERT_EQ(main().lvFiles->rowCount(), 1);
  platform_.yesNoAnswers = {true};
  QTest::mouseClick(main().btnscsp, Qt::LeftButton);
  ASSERT_EQ(platform_.texts("error").size(), 1);
  EXPECT_TRUE(platform_.texts("error").first().contains("../../outside.html"));
  EXPECT_EQ(ReadFile(folder_ / "outside.html"), "keep me");
  EXPECT_TRUE(site.calls.empty());
}

TEST_F(CataloguePanel, EmptyListDisablesSavingAndKeepsTheCurrentVideo) {
  createWindows();
  loginAndWaitForList();
  service::Tvideofile before = main().currentVideo;
  emit main().swfMain->OnFSCommand("getByCompIdVideoList", "<data><msg></msg></data>");
  EXPECT_EQ(main().lvFiles->rowCount(), 0);
  EXPECT_FALSE(main().btnspglsave->isEnabled());
  EXPECT_FALSE(main().btnPlay->isEnabled());
  EXPECT_EQ(main().currentVideo, before);
  EXPECT_TRUE(PublishedIds(dataPath() / "config.xml").empty());

  // A broken config.xml is reported with its own text; the list is refilled.
  WriteFile(dataPath() / "config.xml", "not xml");
  emit main().swfMain->OnFSCommand("GETBYCOMPIDVIDEOLIST", "<data><msg></msg></data>");
  EXPECT_EQ(platform_.texts("error").size(), 1);
  EXPECT_EQ(ReadFile(dataPath() / "config.xml"), "not xml");
}

TEST_F(CataloguePanel, LocalThumbnailIsShownAndAClickBesideTheRowsUnselects) {
  createWindows();
  loginAndWaitForList();
  std::string base = cell(1, kCellFileName).section('.', 0, 0).toStdString();
  QImage picture(120, 90, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(QString::fromStdString((dataPath() / "zoom" / (base + ".jpg")).string()), "JPG"));
  main().lvFiles->selectRow(1);
  ASSERT_FALSE(main().imgZoom->pixmap().isNull());
  EXPECT_GT(qRed(main().imgZoom->pixmap().toImage().pixel(60, 45)), 200);

  QWidget* viewport = main().lvFiles->viewport();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(viewport->width() - 5, viewport->height() - 5));
  EXPECT_TRUE(main().lvFiles->selectionModel()->selectedRows().isEmpty());
  EXPECT_EQ(main().currentVideo.fileName, cell(1, kCellFileName).toStdString()) << "the row left stays current";
}

}  // namespace
}  // namespace kestrova::test
