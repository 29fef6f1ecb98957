// The conversion dialogs offscreen, on media made at test time: the options
// dialog's slider, range, presets and thumbnail; the batch dialog's list,
// buttons, run, stop and errors; and adding videos from the main window's
// button through to the catalogue of the real back end.
#include <QRegularExpression>
#include <QStyleOption>
#include <QTest>
#include <filesystem>
#include <thread>

#include "desktop_fixture.h"
#include "frm_main.h"
#include "frm_option.h"
#include "media/logger.h"
#include "media/probe.h"
#include "media_fixture.h"
#include "pending_registrations.h"

namespace kestrova::test {
namespace {

namespace fs = std::filesystem;
using ui::TfrmMain;
using ui::TfrmOption;

// A 30 s 640x480 clip: converted at the largest preset it takes seconds
// even on a fast machine, long enough to stop its conversion half way.
const fs::path& LongClip() {
  static TempDir folder;
  static const fs::path clip = [] {
    fs::path path = folder / "long.mp4";
    MakeMedia("-f lavfi -i testsrc=size=640x480:rate=25:duration=30 "
              "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=30 "
              "-c:v libx264 -preset ultrafast -g 250 -pix_fmt yuv420p -c:a aac -shortest",
              path);
    return path;
  }();
  return clip;
}

// What the options dialog does before it is closed by the test.
using OptionScript = std::function<void(TfrmOption&)>;

// Steps forward a few pictures and takes the thumbnail there.
void CaptureAfterSteps(TfrmOption& o) {
  o.TrackBar1->setValue(o.TrackBar1->value() + 5);
  o.btnStartPicClick();
}

// Runs script on the shown dialog, then presses OK (or Cancel).
std::function<int(QDialog&)> OptionDialog(OptionScript script, bool ok = true) {
  return [script, ok](QDialog& dialog) {
    auto& o = static_cast<TfrmOption&>(dialog);
    o.setResult(QDialog::Rejected);
    o.show();
    if (script) script(o);
    (ok ? o.BitBtn1 : o.BitBtn2)->click();
    if (o.isVisible()) o.BitBtn2->click();  // OK refused: leave as a user would
    return o.result();
  };
}

// The batch dialog alone, in a folder laid out like the tool's.
class BatchDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"video", "zoom"}) fs::create_directories(folder_ / "data" / sub);
    context_ = std::make_unique<ui::AppContext>(
        ui::AppContext{platform_, windows_, QString::fromStdString(folder_.path().string())});
    batch_ = std::make_unique<TfrmMain>(*context_);
    windows_.frmMain = batch_.get();
    batch_->show();
  }
  void TearDown() override {
    batch_.reset();
    QApplication::processEvents();
  }

  TfrmMain& batch() { return *batch_; }
  fs::path data() const { return folder_.path() / "data"; }

  // btnAdd with the file chosen and the options dialog run by script.
  void add(const fs::path& file, OptionScript script = CaptureAfterSteps, bool ok = true) {
    platform_.fileAnswers.push_back(QString::fromStdString(file.string()));
    platform_.dialogScripts.push_back(OptionDialog(std::move(script), ok));
    batch().btnAdd->click();
  }
  QString cell(int row, int place) const {
    QTableWidgetItem* item = batch_->lvFiles->item(row, place);
    return item ? item->text() : QString();
  }
  // The ended state: everything off but Clear and OK.
  bool ended() const { return !batch_->btnAdd->isEnabled() && batch_->btnclose->isEnabled(); }
  void startAndWaitForEnd() {
    batch().btnStart->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended(); }, 120000)) << batch().mmoLog->toPlainText().toStdString();
  }
  int jpegCount() const {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(data() / "zoom")) n += entry.path().extension() == ".jpg";
    return n;
  }

  ScriptedPlatform platform_;
  TempDir folder_;
  ui::AppWindows windows_;
  std::unique_ptr<ui::AppContext> context_;
  std::unique_ptr<TfrmMain> batch_;
};

TEST_F(BatchDialogTest, TheApplicationsLogShowsLinesFromAnyThreadAndOutlivesTheDialog) {
  std::thread([] { media::FFLogger().Log(nullptr, media::llError, "from a worker"); }).join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return batch().mmoLog->toPlainText().contains("from a worker"); }, 10000));
  EXPECT_EQ(&media::FFLogger(), &context_->log->logger());
  batch_.reset();
  // Whatever logs now (the main window's player) still reaches the
  // application's logger, not a stand-in made because the dialog is gone.
  EXPECT_EQ(&media::FFLogger(), &context_->log->logger());
  media::FFLogger().Log(nullptr, media::llError, "with no dialog to show it");
  QApplication::processEvents();
}

TEST_F(BatchDialogTest, OptionsDialogStepsThroughPicturesMarksTheRangeAndNeedsALaterThumbnail) {
  std::string thumb;
  add(SharedMedia().mp4, [&](TfrmOption& o) {
    thumb = o.thumbName;
    EXPECT_EQ(thumb.size(), 16u);
    EXPECT_FALSE(o.mmoAVFileInfo->toPlainText().isEmpty());
    // 3 s at 25 pictures per second.
    EXPECT_EQ(o.TrackBar1->maximum(), 75);
    EXPECT_EQ(o.TrackBar1->tickInterval(), 7);
    EXPECT_EQ(o.TrackBar1->pageStep(), 5);
    EXPECT_TRUE(o.TrackBar1->isEnabled());
    EXPECT_EQ(o.frameBitmap.width, 320);
    EXPECT_EQ(o.curFrameTime, 0);
    EXPECT_EQ(o.edtStartPic->text(), "00:00:00.000");
    EXPECT_EQ(o.edtStartTime->text(), "N/A");

    struct Move {
      int position;
      int64_t time;
    } moves[] = {{1, 40000}, {2, 80000}, {1, 40000}, {0, 0}, {50, 2000000}, {49, 1960000}, {51, 2040000}};
    for (const Move& m : moves) {
      o.TrackBar1->setValue(m.position);
      EXPECT_EQ(o.curFrameTime, m.time) << m.position;
      EXPECT_EQ(o.lastTrackPos, m.position);
    }
    // The next-picture button moves the slider along; one step from there is a step.
    o.btnNextFrame->click();
    EXPECT_EQ(o.curFrameTime, 2080000);
    EXPECT_EQ(o.TrackBar1->value(), 52);
    o.TrackBar1->setValue(53);
    EXPECT_EQ(o.curFrameTime, 2120000);

    // Only a start, then an end before it: no range yet.
    o.btnStartTimeClick();
    EXPECT_EQ(o.edtStartTime->text(), "00:00:02.120");
    EXPECT_FALSE(o.chkCutClip->isEnabled());
    o.TrackBar1->setValue(10);
    o.btnEndTimeClick();
    EXPECT_FALSE(o.chkCutClip->isEnabled());
    o.TrackBar1->setValue(60);
    o.btnEndTimeClick();
    EXPECT_TRUE(o.chkCutClip->isEnabled());
    EXPECT_FALSE(o.chkCutClip->isChecked());
    o.chkCutClip->setChecked(true);

    // A capture of the first picture does not count.
    o.TrackBar1->setValue(0);
    o.btnStartPicClick();
    EXPECT_EQ(o.edtStartPic->text(), "00:00:00.000");
    o.BitBtn1->click();
    EXPECT_TRUE(o.isVisible());
    EXPECT_EQ(platform_.texts(), QStringList{"缩略图未截取，不能关闭窗口"});
    o.TrackBar1->setValue(25);
    o.btnStartPicClick();
    EXPECT_EQ(o.edtStartPic->text(), "00:00:01.000");
    QImage saved(QString::fromStdString((data() / "zoom" / (thumb + ".jpg")).string()));
    EXPECT_EQ(saved.size(), QSize(120, 90));
  });
  ASSERT_EQ(batch().lvFiles->rowCount(), 1) << batch().mmoLog->toPlainText().toStdString();
  EXPECT_EQ(cell(0, 0), "clip.mp4");
  EXPECT_EQ(cell(0, 1), "3");
  EXPECT_EQ(cell(0, 2), QString::number(fs::file_size(SharedMedia().mp4)));
  EXPECT_EQ(cell(0, 3), QString::fromStdString(thumb + ".mp4"));
  EXPECT_TRUE(fs::exists(data() / "zoom" / (thumb + ".jpg")));
  EXPECT_EQ(batch().Vexmo.Probe().FileName(), "");  // the probe let go of the file
  EXPECT_TRUE(batch().mmoLog->toPlainText().contains("***File has been added to convert list."));
  // The range chosen reached the task: from 2.12 s, 0.28 s long.
  const media::TTaskRecord& task = batch().Vexmo.TaskRecord(0);
  EXPECT_EQ(task.KeptInput.StartTime, 2120000);
  EXPECT_EQ(task.KeptOutputs.at(0).Duration, 2400000 - 2120000);
}

TEST_F(BatchDialogTest, QualityPresetsLockOrFreeTheBitRateAndFrameSize) {
  TfrmOption o(*context_, &batch());
  // As it opens: the design-time values, the same as preset 1.
  EXPECT_EQ(o.cmbQxd->currentIndex(), -1);
  EXPECT_EQ(o.cmbQxd->count(), 10);
  // Every preset shows whole in the closed box.
  for (int i = 0; i < o.cmbQxd->count(); ++i) {
    QStyleOptionComboBox box;
    box.initFrom(o.cmbQxd);
    box.rect = o.cmbQxd->rect();
    const QRect field = o.cmbQxd->style()->subControlRect(QStyle::CC_ComboBox, &box, QStyle::SC_ComboBoxEditField,
                                                          o.cmbQxd);
    EXPECT_LE(o.cmbQxd->fontMetrics().horizontalAdvance(o.cmbQxd->itemText(i)), field.width())
        << o.cmbQxd->itemText(i).toStdString();
  }
  EXPECT_EQ(o.edtVideoBitRate->text(), "120");
  EXPECT_EQ(o.cboFrameSize->currentText(), "320x240 - qvga");
  EXPECT_EQ(o.cboFrameSize->count(), 31);
  const media::TOutputOptions defaults = o.getOutputOptions();
  EXPECT_EQ(defaults.FrameSize, "320x240");
  EXPECT_EQ(defaults.FrameRate, "15");
  EXPECT_EQ(defaults.VideoBitrate, 120000);
  EXPECT_EQ(defaults.AudioSampleRate, 22050);
  EXPECT_EQ(defaults.AudioBitrate, -1);
  EXPECT_EQ(defaults.FrameAspectRatio, "");
  EXPECT_EQ(defaults.VideoCodec, "libx264");
  EXPECT_EQ(defaults.AudioCodec, "libfaac");

  struct Case {
    int item;
    QString bitRate;
    QString frameSize;
    bool locked;
  } cases[] = {
      {0, "48", "176x144 - qcif", true},   {1, "120", "320x240 - qvga", true}, {2, "256", "400x300 - qvga", true},
      {3, "384", "480x360 - qvga", true},  {4, "512", "640x480 - vga", true},  {5, "768", "800x600 - svga", true},
      {6, "1024", "640x480 - vga", true},  {7, "1280", "800x600 - svga", true},
      {8, "1536", "1024x768 - xga", true},
      // The free choice unlocks them with the values the last preset left.
      {9, "1536", "1024x768 - xga", false},
  };
  for (const Case& c : cases) {
    o.cmbQxd->setCurrentIndex(c.item);
    o.cmbQxdChange();
    EXPECT_EQ(o.edtVideoBitRate->text(), c.bitRate) << c.item;
    EXPECT_EQ(o.cboFrameSize->currentText(), c.frameSize) << c.item;
    EXPECT_TRUE(o.chkVideoBitRate->isChecked());
    for (QWidget* control : std::initializer_list<QWidget*>{o.chkVideoBitRate, o.edtVideoBitRate, o.cboFrameSize})
      EXPECT_EQ(control->isEnabled(), !c.locked) << c.item;
  }
  o.chkAudioBitRate->click();
  EXPECT_TRUE(o.edtAudioBitRate->isEnabled());
  o.chkAudioVolume->click();
  EXPECT_TRUE(o.edtAudioVolume->isEnabled());
  o.chkVideoBitRate->click();
  EXPECT_FALSE(o.edtVideoBitRate->isEnabled());
}

TEST_F(BatchDialogTest, AudioOnlyFileGetsTenthsOfASecondAndNoPicture) {
  add(SharedMedia().audioOnly, [&](TfrmOption& o) {
    EXPECT_EQ(o.TrackBar1->maximum(), 30);
    o.TrackBar1->setValue(15);
    EXPECT_EQ(o.curFrameTime, 1500000);
    EXPECT_TRUE(o.frameBitmap.Empty());
    o.btnStartPicClick();
    EXPECT_EQ(o.edtStartPic->text(), "00:00:01.500");
  });
  // The time counts, but there was no picture to save.
  EXPECT_EQ(batch().lvFiles->rowCount(), 1);
  EXPECT_EQ(jpegCount(), 0);
}

TEST_F(BatchDialogTest, CancelTakesTheThumbnailAwayAndAddsNothing) {
  add(SharedMedia().mp4, CaptureAfterSteps, /*ok=*/false);
  EXPECT_EQ(batch().lvFiles->rowCount(), 0);
  EXPECT_EQ(jpegCount(), 0);
  EXPECT_EQ(batch().Vexmo.TaskCount(), 0);
  EXPECT_EQ(batch().Vexmo.Probe().FileName(), "");
  EXPECT_FALSE(batch().btnStart->isEnabled());
}

TEST_F(BatchDialogTest, UnwritableOutputFolderAndMissingThumbnailKeepTheDialogOpen) {
  fs::remove_all(data() / "video");
  WriteFile(data() / "video", "not a folder");
  add(SharedMedia().mp4, nullptr);
  // In Chinese, naming the folder to mend.
  const QStringList texts = platform_.texts();
  ASSERT_EQ(texts.size(), 2) << texts.join("\n").toStdString();
  EXPECT_TRUE(texts[0].startsWith("数据文件夹无法写入，请检查它的权限：")) << texts[0].toStdString();
  EXPECT_TRUE(texts[0].contains(QString::fromStdString((data() / "video").string()))) << texts[0].toStdString();
  EXPECT_EQ(texts[1], "缩略图未截取，不能关闭窗口");
  EXPECT_EQ(batch().lvFiles->rowCount(), 0);

  // A thumbnail folder that cannot be written: said in one language, naming the file.
  fs::remove(data() / "video");
  fs::create_directories(data() / "video");
  fs::remove_all(data() / "zoom");
  WriteFile(data() / "zoom", "not a folder");
  platform_.shown.clear();
  add(SharedMedia().mp4);
  ASSERT_FALSE(platform_.texts().isEmpty());
  const QString capture = platform_.texts()[0];
  EXPECT_TRUE(capture.startsWith("缩略图保存失败：无法写入文件“" + QString::fromStdString((data() / "zoom").string())))
      << capture.toStdString();
  EXPECT_FALSE(capture.contains("cannot")) << capture.toStdString();
  EXPECT_EQ(batch().lvFiles->rowCount(), 0);
}

TEST_F(BatchDialogTest, PictureBoxesOpenTheLastPictureAtFullSize) {
  QString caption;
  QSize size;
  platform_.fileAnswers.push_back(QString::fromStdString(SharedMedia().mp4.string()));
  platform_.dialogScripts.push_back([&](QDialog& dialog) {
    auto& o = static_cast<TfrmOption&>(dialog);
    o.show();
    o.TrackBar1->setValue(1);
    platform_.dialogScripts.push_back([&](QDialog& view) {
      caption = view.windowTitle();
      size = view.size();
      return int(QDialog::Accepted);
    });
    QTest::mouseClick(o.Image2, Qt::LeftButton);
    o.BitBtn2->click();
    return o.result();
  });
  batch().btnAdd->click();
  EXPECT_TRUE(platform_.dialogsRun.contains("PictureView"));
  EXPECT_EQ(caption, "320x240 @ 00:00:00.040");
  EXPECT_EQ(size, QSize(320, 240));
}

// The index of a faststart MP4 and a few bytes of its pictures: it opens,
// names its streams and length, and no picture decodes.
fs::path IndexOnlyMp4(const fs::path& folder) {
  const fs::path whole = folder / "whole.mp4", cut = folder / "index only.mp4";
  MakeMedia("-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
            "-movflags +faststart",
            whole);
  const std::string bytes = ReadFile(whole);
  // Boxes start with a 4-byte big-endian size; ftyp and moov come first.
  auto boxSize = [&](size_t at) {
    size_t size = 0;
    for (size_t i = 0; i < 4; ++i) size = size << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return size;
  };
  const size_t moov = boxSize(0);
  EXPECT_EQ(bytes.substr(moov + 4, 4), "moov");
  WriteFile(cut, bytes.substr(0, moov + boxSize(moov) + 16));
  return cut;
}

TEST_F(BatchDialogTest, AFileThatCannotBeReadIsNamedWithItsReasonAndGetsNoOptionsDialog) {
  TempDir media;
  const fs::path firstBytes = media / "first 20 KB.mp4";
  WriteFile(firstBytes, ReadFile(LongClip()).substr(0, 20 * 1024));
  const fs::path cases[] = {SharedMedia().notMedia, SharedMedia().empty, firstBytes, IndexOnlyMp4(media.path())};
  for (const fs::path& file : cases) {
    SCOPED_TRACE(file.filename().string());
    platform_.shown.clear();
    platform_.fileAnswers.push_back(QString::fromStdString(file.string()));
    batch().btnAdd->click();
    EXPECT_TRUE(platform_.dialogsRun.isEmpty());
    EXPECT_EQ(batch().lvFiles->rowCount(), 0);
    ASSERT_EQ(platform_.texts().size(), 1);
    const QString text = platform_.texts()[0];
    const QString start = "无法读取文件“" + QString::fromStdString(file.string()) + "”：";
    EXPECT_TRUE(text.startsWith(start)) << text.toStdString();
    EXPECT_GT(text.size(), start.size()) << "the reason follows the colon";
  }
  EXPECT_EQ(jpegCount(), 0);
}

TEST_F(BatchDialogTest, RemoveTakesTheThumbnailButNoVideo) {
  add(SharedMedia().mp4);
  add(SharedMedia().chinese);
  ASSERT_EQ(batch().lvFiles->rowCount(), 2);
  const std::string base = cell(0, 3).section('.', 0, 0).toStdString();
  WriteFile(data() / "video" / (base + ".mp4"), "an earlier output");
  batch().lvFiles->selectRow(0);
  batch().btnRemove->click();
  EXPECT_EQ(batch().lvFiles->rowCount(), 1);
  EXPECT_EQ(cell(0, 0), QString::fromUtf8("中文视频.mp4"));
  EXPECT_EQ(batch().outputFiles.size(), 1u);
  EXPECT_EQ(batch().Vexmo.TaskCount(), 1);
  EXPECT_FALSE(fs::exists(data() / "zoom" / (base + ".jpg")));
  EXPECT_TRUE(fs::exists(data() / "video" / (base + ".mp4")));
  EXPECT_EQ(jpegCount(), 1);
  EXPECT_TRUE(batch().btnStart->isEnabled());
  batch().btnRemove->click();
  EXPECT_EQ(batch().lvFiles->rowCount(), 0);
  EXPECT_FALSE(batch().btnStart->isEnabled());
  EXPECT_FALSE(batch().btnClear->isEnabled());
}

TEST_F(BatchDialogTest, ThePreviewOpensAtTheScreensCentreAndPicturesAfterItsTaskDoNotBringItBack) {
  ui::ConversionPreviewWindow preview(&batch());
  QImage picture(320, 240, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  preview.showPicture(picture, 40000);
  ASSERT_TRUE(preview.isVisible());
  const QPoint centre = batch().screen()->availableGeometry().center();
  EXPECT_LE((preview.frameGeometry().center() - centre).manhattanLength(), 4)
      << preview.x() << "," << preview.y() << " on a screen centred at " << centre.x() << "," << centre.y();
  preview.taskEnded();
  EXPECT_FALSE(preview.isVisible());
  preview.showPicture(picture, 80000);  // still on its way when the task ended
  EXPECT_FALSE(preview.isVisible());
  EXPECT_FALSE(preview.closedByUser()->load()) << "the next task shows it again";
}

TEST_F(BatchDialogTest, ConvertsTheBatchThenPlaysOpensAndClearsIt) {
  add(SharedMedia().mp4);
  add(SharedMedia().chinese);
  batch().btnStart->click();
  EXPECT_FALSE(batch().btnStart->isEnabled());
  EXPECT_FALSE(batch().btnclose->isEnabled());
  EXPECT_TRUE(batch().btnStop->isEnabled());
  batch().reject();  // Escape does not leave a converting batch
  EXPECT_TRUE(batch().isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return ended(); }, 120000)) << batch().mmoLog->toPlainText().toStdString();
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(cell(row, 4), "100%");
    EXPECT_EQ(cell(row, 6), "3");
    const fs::path output = data() / "video" / cell(row, 3).toStdString();
    EXPECT_EQ(cell(row, 7).toLongLong(), static_cast<long long>(fs::file_size(output))) << output;
    EXPECT_TRUE(batch().outputFiles[row].finished);
    EXPECT_EQ(FfprobeValue("stream=codec_name", output, "v:0"), "h264");
  }
  // "同步预览" is on by default: the preview window showed the pictures.
  EXPECT_TRUE(batch().Vexmo.Preview());
  EXPECT_FALSE(batch().previewWindow->pixmap().isNull());
  EXPECT_TRUE(batch().previewWindow->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(batch().previewWindow->isVisible()) << "it goes with its task";
  EXPECT_TRUE(batch().btnClear->isEnabled());
  EXPECT_FALSE(batch().btnRemove->isEnabled());
  EXPECT_TRUE(batch().mmoLog->toPlainText().contains(QRegularExpression("^#\\d+\\.\\d: ", QRegularExpression::MultilineOption)));

  batch().lvFiles->selectRow(0);
  batch().PopupMenu1Popup();
  EXPECT_TRUE(batch().mnuPlay->isEnabled());
  EXPECT_TRUE(batch().mnuOpenFolder->isEnabled());
  EXPECT_FALSE(batch().mnuAdd->isEnabled());
  EXPECT_TRUE(batch().mnuClear->isEnabled());
  batch().mnuPlay->trigger();
  batch().mnuOpenFolder->trigger();
  ASSERT_EQ(platform_.opened.size(), 2u);
  EXPECT_EQ(platform_.opened[0].toLocalFile().toStdString(), (data() / "video" / cell(0, 3).toStdString()).string());
  EXPECT_EQ(fs::path(platform_.opened[1].toLocalFile().toStdString()), data() / "video");

  platform_.yesNoAnswers = {false, true};
  batch().btnClear->click();
  EXPECT_EQ(batch().lvFiles->rowCount(), 2);  // No keeps everything
  batch().btnClear->click();
  EXPECT_EQ(platform_.texts("question"), (QStringList{"确定不保存视频并要清除吗", "确定不保存视频并要清除吗"}));
  EXPECT_EQ(platform_.shown.back().caption, "提示：");
  EXPECT_EQ(batch().lvFiles->rowCount(), 0);
  EXPECT_TRUE(fs::is_empty(data() / "video"));
  EXPECT_EQ(jpegCount(), 0);
  EXPECT_TRUE(batch().btnAdd->isEnabled());
  EXPECT_EQ(batch().Vexmo.TaskCount(), 0);
}

TEST_F(BatchDialogTest, StopDuringTheFirstTaskEndsTheBatchWithBothMarked) {
  // The list shows a task's progress after the engine has moved on: with
  // small pictures the first task ends before its first progress report,
  // the first thing the list shows is its end, and by then the second task
  // runs and takes the Stop. The largest pictures make the first task
  // outlast its first report many times over.
  const OptionScript largest = [](TfrmOption& o) {
    o.cmbQxd->setCurrentIndex(8);
    o.cmbQxdChange();
    CaptureAfterSteps(o);
  };
  add(LongClip(), largest);
  add(LongClip(), largest);
  batch().chkPreview->setChecked(false);
  batch().chkPreviewClick();
  batch().btnStart->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !cell(0, 4).isEmpty(); }, 60000));
  ASSERT_NE(cell(0, 4), "100%") << "the first task ended before Stop could be pressed";
  batch().btnStop->click();
  EXPECT_FALSE(batch().btnStop->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return ended(); }, 60000));
  EXPECT_NE(cell(0, 4), "100%");
  EXPECT_TRUE(batch().outputFiles[0].finished);
  EXPECT_TRUE(batch().outputFiles[1].finished);
  EXPECT_TRUE(platform_.texts("warning").isEmpty());
  // The second never ran: it has no output and Play Output has nothing to open.
  batch().lvFiles->selectRow(1);
  batch().mnuPlayClick();
  batch().lvFiles->selectRow(0);
  batch().mnuPlayClick();
  ASSERT_EQ(platform_.opened.size(), 1u);
  EXPECT_EQ(platform_.opened[0].toLocalFile(), QString::fromStdString(batch().outputFiles[0].fileName));
}

TEST_F(BatchDialogTest, ATaskErrorShowsItsBoxOnceAndTheBatchGoesOn) {
  add(SharedMedia().mp4);
  // A frame size the H.264 encoder refuses when the task starts.
  media::TInputOptions input = batch().Vexmo.TaskRecord(0).KeptInput;
  media::TOutputOptions output = batch().Vexmo.TaskRecord(0).KeptOutputs.at(0);
  output.FileName = (data() / "video" / "odd.mp4").string();
  output.FrameSize = "321x241";
  ASSERT_TRUE(batch().Vexmo.Probe().OpenFile(SharedMedia().mp4.string()));
  ASSERT_TRUE(batch().addTaskRow(input, output));
  batch().Vexmo.Probe().CloseFile();
  add(SharedMedia().chinese);
  // The first file is taken out again so the failing task runs first.
  batch().lvFiles->selectRow(0);
  batch().btnRemove->click();
  startAndWaitForEnd();
  EXPECT_EQ(platform_.texts("warning").size(), 1) << platform_.texts("warning").join("|").toStdString();
  EXPECT_FALSE(batch().outputFiles[0].finished);
  EXPECT_TRUE(batch().outputFiles[1].finished);
  EXPECT_EQ(cell(1, 4), "100%");
  batch().lvFiles->selectRow(0);
  batch().PopupMenu1Popup();
  EXPECT_FALSE(batch().mnuPlay->isEnabled());
}

// A half-copied MP4 converts without an error but to about 5 s of its 10:
// its row says it came out incomplete, and why.
TEST_F(BatchDialogTest, AHalfMissingInputIsMarkedIncompleteInItsRow) {
  const fs::path half = folder_ / "half.mp4";
  MakeHalfMissingMp4(half);
  add(half);
  add(SharedMedia().mp4);
  startAndWaitForEnd();
  EXPECT_EQ(cell(0, 4), "不完整");
  EXPECT_TRUE(batch().lvFiles->item(0, 0)->toolTip().contains("源文件应有 10.0 秒"))
      << batch().lvFiles->item(0, 0)->toolTip().toStdString();
  EXPECT_TRUE(batch().outputFiles[0].finished);
  EXPECT_EQ(cell(1, 4), "100%");
  EXPECT_TRUE(batch().lvFiles->item(1, 0)->toolTip().isEmpty());
}

// The whole road from the main window's button to the catalogue.
class AddVideoFlowTest : public DesktopFixture {
 protected:
  // The batch dialog's script: adds the shared clip (its thumbnail name
  // goes to thumb), converts it, runs beforeOk, and presses OK.
  std::function<int(QDialog&)> ConvertOne(std::string& thumb, std::function<void()> beforeOk = {}) {
    return [this, &thumb, beforeOk](QDialog& dialog) {
      TfrmMain& batch = *windows().frmMain;
      platform_.fileAnswers.push_back(QString::fromStdString(SharedMedia().mp4.string()));
      platform_.dialogScripts.push_back(OptionDialog([&thumb](TfrmOption& o) {
        thumb = o.thumbName;
        CaptureAfterSteps(o);
      }));
      batch.btnAdd->click();
      batch.btnStart->click();
      EXPECT_TRUE(
          QTest::qWaitFor([&] { return batch.btnclose->isEnabled() && !batch.btnAdd->isEnabled(); }, 120000));
      if (beforeOk) beforeOk();
      batch.btnclose->click();
      return dialog.result();
    };
  }
};

TEST_F(AddVideoFlowTest, BatchOkPublishesRegistersAndEmptiesTheBatch) {
  createWindows();
  loginAndWaitForList();
  const int rowsBefore = main().lvFiles->rowCount();
  TfrmMain& batch = *windows().frmMain;
  std::string thumb;
  // Cancel first: nothing is registered and the batch keeps its rows.
  platform_.dialogScripts.push_back([&](QDialog& dialog) {
    platform_.fileAnswers.push_back(QString::fromStdString(SharedMedia().mp4.string()));
    platform_.dialogScripts.push_back(OptionDialog(CaptureAfterSteps));
    batch.btnAdd->click();
    return int(QDialog::Rejected);
  });
  QTest::mouseClick(main().btnxzsp, Qt::LeftButton);
  EXPECT_EQ(batch.lvFiles->rowCount(), 1);
  EXPECT_EQ(requestsSeen("saveUploadFile"), 0);
  batch.lvFiles->selectRow(0);
  batch.btnRemoveClick();

  platform_.dialogScripts.push_back(ConvertOne(thumb));
  QTest::mouseClick(main().btnxzsp, Qt::LeftButton);
  EXPECT_EQ(platform_.dialogsRun.mid(0, 2), (QStringList{"frmMain", "frmOption"}));

  const fs::path published = dataPath() / "video" / (thumb + ".html");
  EXPECT_TRUE(fs::exists(published));
  EXPECT_FALSE(fs::exists(dataPath() / "video" / (thumb + ".mp4")));
  EXPECT_TRUE(fs::exists(dataPath() / "zoom" / (thumb + ".jpg")));
  ASSERT_EQ(platform_.started.size(), 1);
  EXPECT_EQ(platform_.started[0],
            QString::fromStdString((folder_ / "LibAV/md").string() + " -inter 500 " + published.string()));
  EXPECT_EQ(batch.lvFiles->rowCount(), 0);
  EXPECT_EQ(batch.Vexmo.TaskCount(), 0);
  EXPECT_TRUE(batch.outputFiles.empty());
  EXPECT_TRUE(batch.btnAdd->isEnabled());
  EXPECT_FALSE(batch.btnClear->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().lvFiles->rowCount() == rowsBefore + 1; }, 15000));
  bool listed = false;
  for (int row = 0; row < main().lvFiles->rowCount(); ++row)
    for (int place = 0; place < main().lvFiles->columnCount(); ++place) listed |= cell(row, place) == "clip";
  EXPECT_TRUE(listed);
  EXPECT_EQ(requestsSeen("saveUploadFile"), 1);
}

// The back end stops while the batch converts: the video is published but
// its registration gets no answer. It must be reported, kept (file,
// thumbnail, a stored pending entry), and registered once the back end is
// back; saving and refreshing meanwhile say why they failed.
TEST_F(AddVideoFlowTest, ARegistrationWithoutAnAnswerIsReportedKeptAndRetriedWhenTheBackEndReturns) {
  createWindows();
  loginAndWaitForList();
  const int rowsBefore = main().lvFiles->rowCount();
  EXPECT_FALSE(main().btnRetryRegistration->isVisibleTo(&main()));
  std::string thumb;
  platform_.dialogScripts.push_back(ConvertOne(thumb, [&] { service_->process().stop(); }));
  QTest::mouseClick(main().btnxzsp, Qt::LeftButton);

  auto shownContaining = [&](const QString& part) {
    return QTest::qWaitFor(
        [&] {
          for (const auto& s : platform_.shown)
            if (s.text.contains(part)) return true;
          return false;
        },
        15000);
  };
  const QString published = QString::fromStdString(thumb + ".html");
  ASSERT_TRUE(shownContaining("未能在后台服务登记"));
  const QString report = platform_.texts().filter("未能在后台服务登记").value(0);
  EXPECT_TRUE(report.contains("“clip”（" + published + "）：后台服务没有应答")) << report.toStdString();
  EXPECT_TRUE(fs::exists(dataPath() / "video" / published.toStdString()));
  EXPECT_TRUE(fs::exists(dataPath() / "zoom" / (thumb + ".jpg")));
  const auto pending = catalogue::ReadPendingRegistrations(dataPath());
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].fileName, published.toStdString());
  EXPECT_TRUE(main().btnRetryRegistration->isVisibleTo(&main()));

  QTest::mouseClick(main().btnspglsave, Qt::LeftButton);
  EXPECT_TRUE(shownContaining("保存修改失败：后台服务没有应答"));
  QTest::mouseClick(main().btnRefushVideoList, Qt::LeftButton);
  EXPECT_TRUE(shownContaining("刷新视频列表失败：后台服务没有应答"));

  service_->restart();
  QTest::mouseClick(main().btnRetryRegistration, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return main().lvFiles->rowCount() == rowsBefore + 1; }, 15000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !main().btnRetryRegistration->isVisibleTo(&main()); }, 15000));
  EXPECT_TRUE(catalogue::ReadPendingRegistrations(dataPath()).empty());
  EXPECT_EQ(requestsSeen("saveUploadFile"), 1) << "registered once, not once per trigger";
}

}  // namespace
}  // namespace kestrova::test
