// The main window's "add video" button: the batch dialog, and on OK its
// converted files published and registered with the back end.
#include <QDir>
#include <functional>

#include "app_title.h"
#include "frm_main.h"
#include "main_form.h"
#include "platform.h"

namespace kestrova::ui {

namespace {

// Publishing through the window: the post-processor started by the platform
// layer, requests through the main movie, a skipped file told to the user.
class WindowPublishHost : public convert::PublishHost {
 public:
  WindowPublishHost(Platform& platform, std::function<void(const std::string&)> send)
      : platform_(platform), send_(std::move(send)) {}

  void startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments) override {
    QStringList texts;
    for (const std::string& argument : arguments) texts << QString::fromStdString(argument);
    // Whether it starts or not is not looked at: the file is published either way.
    platform_.startProgram(QString::fromStdString(program.string()), texts);
  }
  void sendRequest(const std::string& request) override { send_(request); }
  void reportSkipped(const convert::BatchRowValues& row, SkipReason reason) override {
    const QString why = reason == SkipReason::NotConverted ? QStringLiteral("视频文件未转换，未加入视频列表：")
                                                           : QStringLiteral("视频文件改名失败，未加入视频列表：");
    platform_.messageBox(why + QString::fromStdString(row.caption + " (" + row.outputName + ")"), ApplicationTitle());
  }

 private:
  Platform& platform_;
  std::function<void(const std::string&)> send_;
};

}  // namespace

void TMainForm::btnxzspClick() {
  if (context_.platform.execDialog(*context_.windows.frmMain) == QDialog::Accepted) addVideoFile();
}

void TMainForm::addVideoFile() {
  TfrmMain& batch = *context_.windows.frmMain;
  const std::vector<convert::BatchRowValues> rows = batch.rowValues();
  if (rows.empty()) return;
  WindowPublishHost host(context_.platform, [this](const std::string& request) { send(request); });
  const std::filesystem::path postProcessor = QDir(context_.executableFolder).filePath("LibAV/md").toStdString();
  convert::PublishBatch(rows, dataPath, postProcessor, companyid, host);
  batch.clearPublishedBatch();
}

}  // namespace kestrova::ui
