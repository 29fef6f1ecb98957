// The main window's "add video" button: the batch dialog, and on OK its
// converted files published and registered with the back end.
#include <QDir>

#include "add_video.h"
#include "app_title.h"
#include "frm_main.h"
#include "main_form.h"
#include "platform.h"
#include "registration_tracker.h"

namespace kestrova::ui {

void TMainForm::btnxzspClick() {
  if (context_.platform.execDialog(*context_.windows.frmMain) == QDialog::Accepted) addVideoFile();
}

void TMainForm::addVideoFile() {
  TfrmMain& batch = *context_.windows.frmMain;
  const std::vector<catalogue::ConvertedRow> rows = batch.rowValues();
  if (rows.empty()) return;
  // The post-processor started by the platform layer, requests through the
  // main movie, a skipped file told to the user.
  catalogue::PublishSteps steps;
  steps.postProcess = [this](const std::filesystem::path& program, const std::vector<std::string>& words) {
    QStringList texts;
    for (const std::string& word : words) texts << QString::fromStdString(word);
    // Whether it starts or not is not looked at: the file is published either way.
    context_.platform.startProgram(QString::fromStdString(program.string()), texts);
  };
  // Each registration is followed until the back end confirms it.
  steps.registerVideo = [this](const service::NewVideo& video) { registrations_->registerVideo(video); };
  steps.reportFailure = [this](const catalogue::RowFailure& failure) {
    context_.platform.messageBox(QString::fromStdString(catalogue::RowFailureText(failure)), ApplicationTitle());
  };
  const std::filesystem::path executableFolder = context_.executableFolder.toStdString();
  catalogue::PublishConvertedRows(rows, dataPath, catalogue::PostProcessorPath(executableFolder), companyid, steps);
  batch.clearPublishedBatch();
  showPendingRegistrations();
}

}  // namespace kestrova::ui
