// The catalogue panel: the list, the selected video's fields and thumbnail,
// saving, deleting, refreshing, and the config.xml rewrite after a refresh.
#include <QSignalBlocker>

#include "app_title.h"
#include "catalogue_rows.h"
#include "config_xml.h"
#include "dispatcher.h"
#include "frm_bfq.h"
#include "frm_mp.h"
#include "main_form.h"
#include "platform.h"
#include "registration_tracker.h"
#include "reply_readers.h"
#include "request_texts.h"
#include "thumbnail_fetcher.h"
#include "video_files.h"

namespace kestrova::ui {

using catalogue::RowCells;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void TMainForm::updateVideoFileList(const std::string& reply) {
  service::TvideofileList videos = service::parseVideoList(reply);
  {
    // Emptying the list is not a selection by the user: currentVideo and
    // the fields keep what they show.
    QSignalBlocker quiet(lvFiles->selectionModel());
    lvFiles->clearContents();
    lvFiles->setRowCount(0);
  }
  // One repaint for the whole list rather than one per cell.
  lvFiles->setUpdatesEnabled(false);
  int rowCount = static_cast<int>(videos.size());
  lvFiles->setRowCount(rowCount);
  service::TvideofileList listed;
  listed.reserve(videos.size());
  {
    // Every setItem would tell the view about its one cell (60 000 notices
    // for 5000 videos, most of the time a long list took); the view hears
    // about all of them at once below.
    QSignalBlocker quietModel(lvFiles->model());
    for (int row = 0; row < rowCount; ++row) {
      RowCells cells = catalogue::CellsForListRow(videos[row]);
      for (int cell = 0; cell < catalogue::kRowCellCount; ++cell) {
        auto* item = new QTableWidgetItem(Q(cells[cell]));
        if (cell > 0) item->setTextAlignment(Qt::AlignCenter);
        lvFiles->setItem(row, cell, item);
        cells[cell] = item->text().toStdString();  // as listRows() reads it back
      }
      listed.push_back(catalogue::RecordFromCells(cells));
    }
  }
  if (rowCount > 0)
    emit lvFiles->model()->dataChanged(lvFiles->model()->index(0, 0),
                                       lvFiles->model()->index(rowCount - 1, catalogue::kRowCellCount - 1));
  lvFiles->setUpdatesEnabled(true);
  bool empty = videos.empty();
  btnspglsave->setEnabled(!empty);
  btnPlay->setEnabled(!empty);
  if (!empty) lvFiles->selectRow(0);
  createConfigXml(std::move(listed));
  registrations_->listed(videos, companyid);
  showPendingRegistrations();
}

service::TvideofileList TMainForm::listRows() const {
  service::TvideofileList rows;
  for (int row = 0; row < lvFiles->rowCount(); ++row) {
    RowCells cells;
    for (int cell = 0; cell < catalogue::kRowCellCount; ++cell) {
      QTableWidgetItem* item = lvFiles->item(row, cell);
      cells[cell] = item ? item->text().toStdString() : std::string();
    }
    rows.push_back(catalogue::RecordFromCells(cells));
  }
  return rows;
}

void TMainForm::lvFilesSelectItem(int row, bool) {
  if (row < 0 || row >= lvFiles->rowCount()) return;
  RowCells cells;
  for (int cell = 0; cell < catalogue::kRowCellCount; ++cell) {
    QTableWidgetItem* item = lvFiles->item(row, cell);
    cells[cell] = item ? item->text().toStdString() : std::string();
  }
  currentVideo = catalogue::RecordFromCells(cells);
  showThumbnail(currentVideo);
  edtTitle->setText(Q(currentVideo.title));
  cmbstate->setCurrentIndex(currentVideo.state == "A" ? 0 : 1);
  edtSort->setText(Q(currentVideo.sort));
  mmoZhimo->setPlainText(Q(currentVideo.zhimo));
}

void TMainForm::showThumbnail(const service::Tvideofile& video) {
  thumbnails_->cancel();
  // A name that cannot be a plain file name in the data folder gets no
  // picture; failures here are never reported.
  std::optional<std::string> base = catalogue::SafeBaseName(video.fileName);
  if (!base) return;
  std::filesystem::path local = catalogue::ThumbnailPath(dataPath, *base);
  std::error_code error;
  if (std::filesystem::exists(local, error)) {
    QPixmap picture(Q(local.string()));
    if (!picture.isNull()) imgZoom->setPixmap(picture);
    return;
  }
  thumbnails_->fetch(QUrl(Q(catalogue::ThumbnailAddress(edDomain->text().toStdString(), *base))));
}

void TMainForm::btnspglsaveClick() {
  currentVideo.title = edtTitle->text().toStdString();
  currentVideo.stateText = cmbstate->currentText().toStdString();
  currentVideo.sort = edtSort->text().toStdString();
  currentVideo.zhimo = mmoZhimo->toPlainText().toStdString();
  // One letter, set as a character: assigning the literal made GCC 12 warn
  // (-Wrestrict) about a copy that cannot overlap.
  currentVideo.state.assign(1, cmbstate->currentText() == QStringLiteral("生效") ? 'A' : 'U');
  send(service::EditUploadFileRequest({currentVideo.id, currentVideo.sort, currentVideo.title, companyid,
                                       currentVideo.memo, currentVideo.zhimo, currentVideo.state}));
}

void TMainForm::btnscspClick() {
  QList<QTableWidgetItem*> selected = lvFiles->selectedItems();
  if (selected.isEmpty()) {
    showMessage("请选择要删除的视频！");
    return;
  }
  int row = selected.first()->row();
  if (!site_->connectFtp()) return;
  if (!context_.platform.askYesNo(QStringLiteral("您确定要删除？"), QStringLiteral("提示："))) return;
  QTableWidgetItem* nameItem = lvFiles->item(row, catalogue::kCellFileName);
  // The name comes from the back end: it must stay inside the data folder.
  std::string base = catalogue::RequireSafeBaseName(nameItem ? nameItem->text().toStdString() : std::string());
  catalogue::DeleteLocalVideoFiles(dataPath, base);
  catalogue::DeleteServerVideoFiles(*site_, edServerPath->text().toStdString(), base);
  send(service::DelUploadFileRequest(currentVideo.id, companyid));
}

void TMainForm::btnRefushVideoListClick() {
  registrations_->armRetry();
  sendVideoListRequest();
}

void TMainForm::btnRetryRegistrationClick() {
  // The list comes first: a video the back end took although its answer
  // was lost is not registered twice.
  registrations_->armRetry();
  sendVideoListRequest();
}

void TMainForm::showPendingRegistrations() {
  const size_t waiting = registrations_->pending(companyid).size();
  btnRetryRegistration->setVisible(waiting > 0);
  btnRetryRegistration->setToolTip(
      QStringLiteral("%1 个视频尚未在后台服务登记，点击重新登记").arg(static_cast<qulonglong>(waiting)));
}

void TMainForm::requestAnswered(const std::string& request, const std::string&, const std::string& args) {
  registrations_->answered(request, args);
  showPendingRegistrations();
}

void TMainForm::requestFailed(const std::string& request, const std::string& reason) {
  registrations_->failed(request, reason);
  showPendingRegistrations();
  const std::string message = service::RequestFailureMessage(request, reason);
  if (!message.empty()) showMessage(message);
}

void TMainForm::lvFilesExit() { createScript(); }

void TMainForm::createConfigXml() { createConfigXml(listRows()); }

void TMainForm::createConfigXml(service::TvideofileList rows) {
  publishing::PlayerConfig config;
  config.companyid = companyid;
  config.account = account;
  config.tvtype = tvtype;
  const TFrmMp& card = *context_.windows.FrmMp;
  config.companyname = card.edCompanyName->text().toStdString();
  config.addr = card.edCard->text().toStdString();
  config.tel = card.edTel->text().toStdString();
  config.fax = card.edFax->text().toStdString();
  config.qq = card.edQQ->text().toStdString();
  config.skype = card.edSkype->text().toStdString();
  config.msn = card.edMSN->text().toStdString();
  config.email = card.edEmail->text().toStdString();
  const TFrmBfq& flags = *context_.windows.FrmBfq;
  config.chkDisplayEntCard = flags.chkDisplayEntCard->isChecked();
  config.chkDisplayZhimo = flags.chkDisplayZhimo->isChecked();
  config.chkAutoPlay = flags.chkAutoPlay->isChecked();
  config.chkAutocre = flags.chkAutocre->isChecked();
  config.chkDisplayLogo = flags.chkDisplayLogo->isChecked();
  config.rows = std::move(rows);
  publishing::createConfigXml(dataPath / "config.xml", config);
}

}  // namespace kestrova::ui
