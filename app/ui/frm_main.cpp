#include "frm_main.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QUrl>
#include <filesystem>
#include <iterator>

#include "app_title.h"
#include "artwork.h"
#include "frm_option.h"
#include "handler_guard.h"
#include "output_length.h"
#include "platform.h"
#include "video_files.h"
#include "window_chrome.h"

namespace kestrova::ui {

namespace {

constexpr QSize kClientSize(780, 470);

const QString kOpenFilter = QStringLiteral(
    "Video/Audio/Picture Files|*.3GP;*.ASF;*.AVI;*.AVM;*.AVS;*.DAT;*.FLV;*.MKV;*.MOV;*.MP4;*.MPEG;*.MPG;*.NSV;*.OGM;"
    "*.RM;*.RMVB;*.TP;*.TS;*.VOB;*.WMV;*.AAC;*.AC3;*.APE;*.DTS;*.FLAC;*.M4A;*.MKA;*.MP2;*.MP3;*.MPA;*.MPC;*.OFR;"
    "*.OGG;*.RA;*.TTA;*.WAV;*.WMA;*.BMP;*.GIF;*.JPEG;*.JPG;*.PNG;|Video Files|*.3GP;*.ASF;*.AVI;*.AVM;*.AVS;*.DAT;"
    "*.FLV;*.MKV;*.MOV;*.MP4;*.MPEG;*.MPG;*.NSV;*.OGM;*.RM;*.RMVB;*.TP;*.TS;*.VOB;*.WMV;|Audio Files|*.AAC;*.AC3;"
    "*.APE;*.DTS;*.FLAC;*.M4A;*.MKA;*.MP2;*.MP3;*.MPA;*.MPC;*.OFR;*.OGG;*.RA;*.TTA;*.WAV;*.WMA;|Picture Files|*.BMP;"
    "*.GIF;*.JPEG;*.JPG;*.PNG;|All Files|*.*");

struct Column {
  const char* caption;
  int width;  // 0: the list's default
};
constexpr Column kColumns[] = {{"视频文件", 100}, {"总时长", 65}, {"文件大小", 60},   {"输出文件名", 150},
                               {"进度", 60},      {"帧率", 0},    {"当前时间", 80},   {"文件大小（后）", 100}};

// Sub-items are counted after the caption column.
constexpr int Place(int subItem) { return subItem + 1; }

QString Text(const std::string& text) { return QString::fromStdString(text); }

QPushButton* Button(QWidget* parent, const QString& text, int left) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(left, 414, 80, 30);
  return button;
}

}  // namespace

template <class Handler>
void TfrmMain::guarded(Handler&& handler) {
  Guarded(context_.platform, std::forward<Handler>(handler));
}

TfrmMain::TfrmMain(AppContext& context)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint), context_(context), Vexmo(&handOver_) {
  setObjectName("frmMain");
  setWindowTitle(QStringLiteral("视频转换"));
  setFixedSize(kClientSize);
  setModal(true);
  // The batch dialog renames the application when it is created; the name
  // stays for the rest of the run.
  SetApplicationTitle(QStringLiteral("ZorvaneKestrova"));
  QPixmap background = artwork::WindowBackground(kClientSize, windowTitle());
  Image1 = MakePicture(this, background, QRect(QPoint(0, 0), kClientSize));
  MakeDragHandle(Image1, this);
  ApplyWindowShape(this, background);

  btnAdd = Button(this, QStringLiteral("添加"), 20);
  btnRemove = Button(this, QStringLiteral("移除"), 106);
  btnClear = Button(this, QStringLiteral("清空"), 192);
  btnStart = Button(this, QStringLiteral("开始转换"), 278);
  btnStop = Button(this, QStringLiteral("停止"), 364);
  btnPause = Button(this, QStringLiteral("暂停"), 450);
  btnResume = Button(this, QStringLiteral("继续"), 536);
  btnclose = Button(this, QStringLiteral("确定"), 680);
  chkPreview = new QCheckBox(QStringLiteral("同步预览"), this);
  chkPreview->setGeometry(622, 384, 100, 24);
  chkPreview->setChecked(true);
  buildList();
  buildMenu();
  mmoLog = new QPlainTextEdit(this);
  mmoLog->setReadOnly(true);
  mmoLog->hide();
  chkThreadMode = new QCheckBox(QStringLiteral("Thread Mode"), this);
  chkThreadMode->setChecked(true);
  chkThreadMode->hide();
  edtThreadCount = new QLineEdit(QStringLiteral("1"), this);
  edtThreadCount->hide();
  previewWindow = new ConversionPreviewWindow(this);

  // Reports come from the engine's threads: each is copied and handed to
  // this window's thread, where they are applied in the order raised; an
  // error escaping one goes to the top-level display.
  handOver_.SetErrorHandler([this](std::exception_ptr error) {
    guarded([&] { std::rethrow_exception(error); });
  });
  Vexmo.SetTriggerEventInMainThread(false);
  Vexmo.SetOnProgress([this](media::TCustomFFmpegEngine&, media::PProgressInfo info) {
    handOver_.Post([this, copy = *info] { guarded([&] { VexmoProgress(copy); }); });
  });
  Vexmo.SetOnTerminate([this](media::TCustomFFmpegEngine&, const media::TTerminateInfo& info) {
    handOver_.Post([this, info] { guarded([&] { VexmoTerminate(info); }); });
  });
  // The application's log shows its lines here while this dialog exists.
  context_.log->setSink([this](std::uint32_t threadId, media::TLogLevel level, const std::string& message) {
    FFLoggerLog(threadId, level, message);
  });
  Vexmo.SetPreviewerFactory([this] { return std::make_unique<ConversionPreviewer>(handOver_, *previewWindow); });

  connectHandlers();
  applyButtons(convert::BatchState::Empty);
}

TfrmMain::~TfrmMain() {
  context_.log->setSink(nullptr);
  // Reports still on their way have no window to reach.
  handOver_.Close();
  Vexmo.Stop(true);
}

void TfrmMain::buildList() {
  lvFiles = new QTableWidget(0, static_cast<int>(std::size(kColumns)), this);
  lvFiles->setGeometry(20, 44, kClientSize.width() - 40, 334);
  QStringList captions;
  for (const Column& column : kColumns) captions << QString::fromUtf8(column.caption);
  lvFiles->setHorizontalHeaderLabels(captions);
  lvFiles->verticalHeader()->hide();
  for (int i = 0; i < lvFiles->columnCount(); ++i) {
    if (kColumns[i].width > 0) lvFiles->setColumnWidth(i, kColumns[i].width);
    if (i > 0) lvFiles->horizontalHeaderItem(i)->setTextAlignment(Qt::AlignCenter);
  }
  lvFiles->setShowGrid(true);
  lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvFiles->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TfrmMain::buildMenu() {
  PopupMenu1 = new QMenu(this);
  mnuAdd = PopupMenu1->addAction(QStringLiteral("Add"));
  mnuRemove = PopupMenu1->addAction(QStringLiteral("Remove"));
  mnuClear = PopupMenu1->addAction(QStringLiteral("Clear"));
  PopupMenu1->addSeparator();
  mnuPlay = PopupMenu1->addAction(QStringLiteral("Play Output"));
  mnuOpenFolder = PopupMenu1->addAction(QStringLiteral("Open Folder"));
}

void TfrmMain::connectHandlers() {
  auto onClick = [this](QPushButton* button, void (TfrmMain::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
  };
  auto onMenu = [this](QAction* action, void (TfrmMain::*handler)()) {
    connect(action, &QAction::triggered, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
  };
  onClick(btnAdd, &TfrmMain::btnAddClick);
  onClick(btnRemove, &TfrmMain::btnRemoveClick);
  onClick(btnClear, &TfrmMain::btnClearClick);
  onClick(btnStart, &TfrmMain::btnStartClick);
  onClick(btnStop, &TfrmMain::btnStopClick);
  onClick(btnPause, &TfrmMain::btnPauseClick);
  onClick(btnResume, &TfrmMain::btnResumeClick);
  connect(btnclose, &QPushButton::clicked, this, &QDialog::accept);
  connect(chkPreview, &QCheckBox::clicked, this, [this] { guarded([&] { chkPreviewClick(); }); });
  onMenu(mnuAdd, &TfrmMain::btnAddClick);
  onMenu(mnuRemove, &TfrmMain::btnRemoveClick);
  onMenu(mnuClear, &TfrmMain::btnClearClick);
  onMenu(mnuPlay, &TfrmMain::mnuPlayClick);
  onMenu(mnuOpenFolder, &TfrmMain::mnuOpenFolderClick);
  connect(lvFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    guarded([&] { PopupMenu1Popup(); });
    PopupMenu1->popup(lvFiles->viewport()->mapToGlobal(at));
  });
}

std::filesystem::path TfrmMain::dataPath() const {
  return std::filesystem::path(context_.executableFolder.toStdString()) / "data";
}

QString TfrmMain::cellText(int row, int place) const {
  QTableWidgetItem* item = lvFiles->item(row, place);
  return item ? item->text() : QString();
}

void TfrmMain::setCell(int row, int place, const QString& text) {
  auto* item = new QTableWidgetItem(text);
  if (place > 0) item->setTextAlignment(Qt::AlignCenter);
  lvFiles->setItem(row, place, item);
}

void TfrmMain::applyButtons(convert::BatchState state) {
  const convert::BatchButtons b = convert::ButtonsFor(state);
  btnAdd->setEnabled(b.btnAdd);
  btnRemove->setEnabled(b.btnRemove);
  btnClear->setEnabled(b.btnClear);
  btnStart->setEnabled(b.btnStart);
  btnStop->setEnabled(b.btnStop);
  btnPause->setEnabled(b.btnPause);
  btnResume->setEnabled(b.btnResume);
  btnclose->setEnabled(b.btnclose);
}

void TfrmMain::addLogLines(const QStringList& lines) {
  for (const QString& line : lines) mmoLog->appendPlainText(line);
}

void TfrmMain::FormShow() { Vexmo.SetPreview(chkPreview->isChecked()); }

void TfrmMain::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  guarded([&] { FormShow(); });
}

void TfrmMain::reject() {
  if (btnclose->isEnabled()) QDialog::reject();
}

void TfrmMain::chkPreviewClick() { Vexmo.SetPreview(chkPreview->isChecked()); }

void TfrmMain::tellUnreadable(const QString& file, const std::string& reason) {
  context_.platform.messageBox(QStringLiteral("无法读取文件“%1”：%2").arg(file, Text(reason)), ApplicationTitle());
}

void TfrmMain::btnAddClick() {
  if (!Vexmo.LibrariesLoaded() && !Vexmo.LoadLibraries(QDir(context_.executableFolder).filePath("LibAV/").toStdString())) {
    addLogLines({Text(Vexmo.LastErrorMessage())});
    return;
  }
  const QString file = context_.platform.openExistingFile(this, kOpenFilter);
  if (file.isEmpty()) return;
  media::TAVProbe& probe = Vexmo.Probe();
  if (!probe.OpenFile(file.toStdString())) {
    addLogLines({QString(), "***File load error: " + Text(probe.LastErrorMessage()), QString()});
    tellUnreadable(file, probe.LastErrorMessage());
    return;
  }
  // Whatever happens from here, the probe lets go of the file.
  struct CloseOnExit {
    media::TAVProbe& probe;
    ~CloseOnExit() { probe.CloseFile(); }
  } closeOnExit{probe};
  if (frmOption == nullptr) frmOption = new TfrmOption(context_, this);
  if (const std::string problem = frmOption->setupProbe(probe); !problem.empty()) {
    addLogLines({QString(), "***File load error: " + Text(problem), QString()});
    tellUnreadable(file, problem);
    return;
  }
  if (context_.platform.execDialog(*frmOption) != QDialog::Accepted) return;
  const media::TOutputOptions output = frmOption->getOutputOptions();
  const media::TInputOptions input = frmOption->getInputOptions();
  if (!addTaskRow(input, output)) {
    // The file is not in the batch: its thumbnail would belong to nothing.
    std::error_code error;
    std::filesystem::remove(frmOption->thumbnailPath(), error);
  }
}

bool TfrmMain::addTaskRow(const media::TInputOptions& input, const media::TOutputOptions& output) {
  const int task = Vexmo.AddTask(input.FileName, &input);
  if (task < 0) {
    addLogLines({QString(), "***File open error: " + Text(Vexmo.LastErrorMessage()), QString()});
    return false;
  }
  if (!Vexmo.SetOutputFile(task, output.FileName, &output)) {
    Vexmo.RemoveTask(task);
    addLogLines({QString(), "***Cannot do convert, error: " + Text(Vexmo.LastErrorMessage()), QString()});
    return false;
  }
  media::TAVProbe& probe = Vexmo.Probe();
  media::TFileStreamInfo info;
  probe.GetFileStreamInfo(info);
  const std::filesystem::path outputPath(output.FileName);
  const int row = lvFiles->rowCount();
  lvFiles->insertRow(row);
  setCell(row, 0, Text(std::filesystem::path(input.FileName).filename().string()));
  setCell(row, Place(0), Text(convert::TotalDurationCell(info.Duration)));
  setCell(row, Place(1), QString::number(probe.FileSize()));
  setCell(row, Place(2), Text(outputPath.filename().string()));
  for (int subItem = 3; subItem <= 6; ++subItem) setCell(row, Place(subItem), QString());
  addLogLines({QString(), QStringLiteral("***File has been added to convert list."), QString()});
  applyButtons(convert::BatchState::Listed);
  outputFolders.push_back(outputPath.parent_path().string());
  outputFiles.push_back({output.FileName, false, info.Duration});
  return true;
}

void TfrmMain::deleteThumbnail(int row) {
  const std::string base = catalogue::BaseName(cellText(row, Place(2)).toStdString());
  std::error_code error;
  std::filesystem::remove(dataPath() / "zoom" / (base + ".jpg"), error);
}

void TfrmMain::btnRemoveClick() {
  const int row = lvFiles->currentRow();
  if (row < 0 || row >= lvFiles->rowCount()) return;
  Vexmo.RemoveTask(row);
  if (row < static_cast<int>(outputFolders.size())) outputFolders.erase(outputFolders.begin() + row);
  if (row < static_cast<int>(outputFiles.size())) outputFiles.erase(outputFiles.begin() + row);
  // The thumbnail goes with the row; a converted output stays.
  deleteThumbnail(row);
  lvFiles->removeRow(row);
  applyButtons(lvFiles->rowCount() > 0 ? convert::BatchState::Listed : convert::BatchState::Empty);
}

void TfrmMain::btnClearClick() {
  if (!context_.platform.askYesNo(QStringLiteral("确定不保存视频并要清除吗"), QStringLiteral("提示："))) return;
  for (int row = 0; row < lvFiles->rowCount(); ++row) {
    deleteThumbnail(row);
    const std::string base = catalogue::BaseName(cellText(row, Place(2)).toStdString());
    std::error_code error;
    std::filesystem::remove(dataPath() / "video" / (base + ".mp4"), error);
  }
  Vexmo.ClearTasks();
  outputFolders.clear();
  outputFiles.clear();
  lvFiles->setRowCount(0);
  applyButtons(convert::BatchState::Empty);
}

void TfrmMain::btnStartClick() {
  applyButtons(convert::BatchState::Converting);
  bool isNumber = false;
  int threads = edtThreadCount->text().toInt(&isNumber);
  if (!isNumber) threads = 1;
  Vexmo.StartTask(chkThreadMode->isChecked() ? threads : 0);
}

void TfrmMain::btnStopClick() {
  btnStop->setEnabled(false);
  // Waits for every task on this thread: the engine pumps the hand-over
  // meanwhile, so the window keeps painting and taking the engine's reports
  // (user input waits).
  Vexmo.Stop(true);
}

void TfrmMain::btnPauseClick() {
  btnPause->setEnabled(false);
  btnResume->setEnabled(true);
  Vexmo.Pause();
}

void TfrmMain::btnResumeClick() {
  btnPause->setEnabled(true);
  btnResume->setEnabled(false);
  Vexmo.Resume();
}

void TfrmMain::VexmoProgress(const media::TProgressInfo& info) {
  const int row = info.TaskIndex;
  if (row < 0 || row >= lvFiles->rowCount()) return;
  setCell(row, Place(3), Text(convert::ProgressCell(info.CurrentDuration, info.TotalDuration)));
  if (info.FPS > 0) setCell(row, Place(4), QString::number(info.FPS));
  setCell(row, Place(5), Text(convert::CurrentTimeCell(info.CurrentDuration)));
  setCell(row, Place(6), QString::number(info.CurrentSize));
  if (info.TotalDuration > 0 && row < static_cast<int>(outputFiles.size()))
    outputFiles[row].expectedLength = info.TotalDuration;
}

void TfrmMain::VexmoTerminate(const media::TTerminateInfo& info) {
  previewWindow->taskEnded();
  const int row = info.TaskIndex;
  if (row < 0) {
    applyButtons(convert::BatchState::Ended);
    return;
  }
  if (info.Finished && row < lvFiles->rowCount()) setCell(row, Place(3), QStringLiteral("100%"));
  // A damaged or half-copied input converts to its end, but short: the row
  // says so before the video is published.
  if (info.Finished && row < lvFiles->rowCount() && row < static_cast<int>(outputFiles.size())) {
    const std::string note = convert::ShortOutputNote(convert::ConvertedLength(outputFiles[row].fileName),
                                                      outputFiles[row].expectedLength);
    if (!note.empty()) {
      setCell(row, Place(3), QStringLiteral("不完整"));
      for (int place = 0; place < lvFiles->columnCount(); ++place)
        if (QTableWidgetItem* item = lvFiles->item(row, place)) item->setToolTip(Text(note));
      addLogLines({QString(), Text(outputFiles[row].fileName + ": " + note), QString()});
    }
  }
  // A stopped task counts as finished; a failed one does not.
  if (!info.Exception && row < static_cast<int>(outputFiles.size())) outputFiles[row].finished = true;
  if (info.Exception) context_.platform.warningBox(Text(info.ExceptionMsg), ApplicationTitle());
}

void TfrmMain::FFLoggerLog(std::uint32_t threadId, media::TLogLevel level, const std::string& message) {
  mmoLog->appendPlainText(QStringLiteral("#%1.%2: ").arg(threadId).arg(static_cast<int>(level)) + Text(message));
}

void TfrmMain::PopupMenu1Popup() {
  mnuAdd->setEnabled(btnAdd->isEnabled());
  mnuRemove->setEnabled(btnRemove->isEnabled());
  mnuClear->setEnabled(btnClear->isEnabled());
  mnuOpenFolder->setEnabled(lvFiles->rowCount() > 0);
  const int target = convert::MenuTargetEntry(lvFiles->currentRow(), static_cast<int>(outputFolders.size()));
  mnuPlay->setEnabled(target >= 0 && target < static_cast<int>(outputFiles.size()) && outputFiles[target].finished);
}

void TfrmMain::mnuPlayClick() {
  const int target = convert::MenuTargetEntry(lvFiles->currentRow(), static_cast<int>(outputFolders.size()));
  if (target < 0 || target >= static_cast<int>(outputFiles.size()) || !outputFiles[target].finished) return;
  // A task that never ran left an empty file: nothing to play.
  const std::string& file = outputFiles[target].fileName;
  if (catalogue::HasConvertedOutput(file)) context_.platform.openAddress(QUrl::fromLocalFile(Text(file)));
}

void TfrmMain::mnuOpenFolderClick() {
  const int target = convert::MenuTargetEntry(lvFiles->currentRow(), static_cast<int>(outputFolders.size()));
  const QString folder = target >= 0 ? Text(outputFolders[target]) : QString();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) context_.platform.openAddress(QUrl::fromLocalFile(folder));
}

std::vector<catalogue::ConvertedRow> TfrmMain::rowValues() const {
  std::vector<catalogue::ConvertedRow> rows;
  for (int row = 0; row < lvFiles->rowCount(); ++row) {
    rows.push_back({cellText(row, 0).toStdString(), cellText(row, Place(2)).toStdString(),
                    cellText(row, Place(4)).toStdString(), cellText(row, Place(5)).toStdString(),
                    cellText(row, Place(6)).toStdString()});
  }
  return rows;
}

void TfrmMain::clearPublishedBatch() {
  previewWindow->taskEnded();
  Vexmo.ClearTasks();
  lvFiles->setRowCount(0);
  outputFolders.clear();
  outputFiles.clear();
  applyButtons(convert::BatchState::Empty);
}

}  // namespace kestrova::ui
