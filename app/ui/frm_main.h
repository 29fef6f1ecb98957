// The conversion batch dialog: the user adds files (each set up in the
// options dialog), converts them all with the engine while the list shows
// their progress, and leaves with OK so the main window publishes them. It
// owns the engine, and shows the application's log (app_log.h) in a hidden
// memo.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <memory>
#include <string>
#include <vector>

#include "app_windows.h"
#include "batch_table.h"
#include "conversion_preview.h"
#include "media/engine/engine.h"
#include "media/logger.h"
#include "add_video.h"
#include "qt_hand_over.h"

namespace kestrova::ui {

class TfrmOption;

class TfrmMain : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmMain(AppContext& context);
  ~TfrmMain() override;

 private:
  AppContext& context_;
  // Before the engine: it hands its reports over through it, so it outlives
  // the engine.
  QtHandOver handOver_;

 public:
  media::TFFmpegEngine Vexmo;

  QLabel* Image1;  // background
  QPushButton* btnAdd;
  QPushButton* btnRemove;
  QPushButton* btnClear;
  QPushButton* btnStart;
  QPushButton* btnStop;
  QPushButton* btnPause;
  QPushButton* btnResume;
  QPushButton* btnclose;
  QCheckBox* chkPreview;
  QTableWidget* lvFiles;
  QMenu* PopupMenu1;
  QAction* mnuAdd;
  QAction* mnuRemove;
  QAction* mnuClear;
  QAction* mnuPlay;
  QAction* mnuOpenFolder;
  QPlainTextEdit* mmoLog;  // hidden
  QCheckBox* chkThreadMode;  // hidden: worker threads
  QLineEdit* edtThreadCount;  // hidden: one task at a time
  ConversionPreviewWindow* previewWindow;
  TfrmOption* frmOption = nullptr;  // made on the first add

  struct OutputFile {
    std::string fileName;
    bool finished = false;
    int64_t expectedLength = 0;  // µs: the asked range, else the input's length
  };
  // One entry per row, in row order.
  std::vector<std::string> outputFolders;
  std::vector<OutputFile> outputFiles;

  // Handlers.
  void FormShow();
  void btnAddClick();  // also mnuAdd
  void btnRemoveClick();  // also mnuRemove
  void btnClearClick();  // also mnuClear
  void btnStartClick();
  void btnStopClick();
  void btnPauseClick();
  void btnResumeClick();
  void chkPreviewClick();
  void PopupMenu1Popup();
  void mnuPlayClick();
  void mnuOpenFolderClick();
  void VexmoProgress(const media::TProgressInfo& info);
  void VexmoTerminate(const media::TTerminateInfo& info);
  void FFLoggerLog(std::uint32_t threadId, media::TLogLevel level, const std::string& message);

  // Hands one file to the engine and lists it; false when the engine refused.
  bool addTaskRow(const media::TInputOptions& input, const media::TOutputOptions& output);

  // What publishing reads from the rows.
  std::vector<catalogue::ConvertedRow> rowValues() const;
  // After the rows were published: the engine's tasks, the rows and both
  // lists go; the dialog is ready for a new batch.
  void clearPublishedBatch();

  // Escape leaves like Cancel, but not while the batch converts.
  void reject() override;

  // The buttons (and their menu entries) as the state of the batch allows.
  void applyButtons(convert::BatchState state);
  void addLogLines(const QStringList& lines);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildList();
  void buildMenu();
  void connectHandlers();
  void deleteThumbnail(int row);
  // A file chosen to add that cannot be read: a box naming it and why.
  void tellUnreadable(const QString& file, const std::string& reason);
  std::filesystem::path dataPath() const;
  QString cellText(int row, int place) const;
  void setCell(int row, int place, const QString& text);
  template <class Handler>
  void guarded(Handler&& handler);
};

}  // namespace kestrova::ui
