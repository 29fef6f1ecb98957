#include "main_form_sync.h"

#include <QMessageBox>
#include <QPushButton>
#include <mutex>

#include "app_title.h"
#include "main_form.h"
#include "progress_text.h"
#include "responsive_ftp.h"
#include "upload_panel_model.h"

namespace kestrova::ui {

namespace {
QString Q(const std::string& text) { return QString::fromStdString(text); }

// lvlist's date columns, and the room a cell's margins and the grid take.
constexpr int kLocalTimeColumn = 1;
constexpr int kServerTimeColumn = 5;
constexpr int kCellPadding = 16;
}  // namespace

sync::ConnectionFields MainFormSyncView::connectionFields() {
  sync::ConnectionFields fields{form_.edServerIP->text().toStdString(), form_.edPort->text().toStdString(),
                                form_.edUserName->text().toStdString(), form_.edPW->text().toStdString(),
                                form_.edServerPath->text().toStdString()};
  fields.protocol = form_.selectedProtocol();
  if (fields.protocol == sync::SiteProtocol::Sftp) fields.keyFile = form_.edKeyFile->text().trimmed().toStdString();
  return fields;
}

sync::TrustAnswer MainFormSyncView::askTrust(const std::string& text, const std::string& fingerprint) {
  (void)fingerprint;  // part of text
  QMessageBox box(QMessageBox::Warning, ApplicationTitle(),
                  Q(text + "\n\n只有确认这是您自己的服务器时才应信任它。"), QMessageBox::NoButton, &form_);
  QPushButton* once = box.addButton(QStringLiteral("仅本次信任"), QMessageBox::AcceptRole);
  QPushButton* always = box.addButton(QStringLiteral("永久信任"), QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("拒绝"), QMessageBox::RejectRole);
  box.exec();
  if (box.clickedButton() == once) return sync::TrustAnswer::Once;
  if (box.clickedButton() == always) return sync::TrustAnswer::Always;
  return sync::TrustAnswer::Refuse;
}

void MainFormSyncView::setServerPathField(const std::string& text) { form_.edServerPath->setText(Q(text)); }

void MainFormSyncView::showUploadPanel() {
  if (!form_.pnlspsc->isVisible()) form_.btnspscClick();
}

void MainFormSyncView::setStatus(const std::string& text) {
  QLabel* line = form_.statmain;
  QFontMetrics metrics(line->font());
  auto widthOf = [&metrics](const std::string& candidate) { return metrics.horizontalAdvance(Q(candidate)); };
  int room = line->contentsRect().width() - 2 * line->margin();
  line->setText(Q(sync::FitStatusText(text, widthOf, room)));
  // The whole text, file name and all, stays one hover away.
  line->setToolTip(Q(text));
}

void MainFormSyncView::setRunning(bool running) {
  form_.btnscan->setEnabled(!running);
  form_.btnUpload2->setEnabled(!running);
  form_.btntestConn->setEnabled(!running);
  form_.btnpauseupload->setEnabled(running);
}

void MainFormSyncView::clearRows() { form_.lvlist->clear(); }

void MainFormSyncView::appendRow(const sync::ChangeRow& row) {
  sync::ListRow texts = sync::RowTexts(row);
  auto* item = new QTreeWidgetItem(form_.lvlist);
  item->setText(0, Q(texts.caption));
  for (size_t i = 0; i < texts.cells.size(); ++i) item->setText(static_cast<int>(i) + 1, Q(texts.cells[i]));
  // Dates are never shown cut off: their columns grow to the widest text.
  for (int column : {kLocalTimeColumn, kServerTimeColumn}) {
    int needed = form_.lvlist->fontMetrics().horizontalAdvance(item->text(column)) + kCellPadding;
    if (form_.lvlist->columnWidth(column) < needed) form_.lvlist->setColumnWidth(column, needed);
  }
}

void MainFormSyncView::setFirstRowState(const std::string& state) {
  if (QTreeWidgetItem* first = form_.lvlist->topLevelItem(0)) first->setText(6, Q(state));
}

void MainFormSyncView::removeFirstRow() { delete form_.lvlist->takeTopLevelItem(0); }

void MainFormSyncView::showMessage(const std::string& text, const std::string& caption, sync::BoxKind kind) {
  if (boxesSilenced_) return;
  QString title = caption.empty() ? ApplicationTitle() : Q(caption);
  switch (kind) {
    case sync::BoxKind::Ok:
      platform_.messageBox(Q(text), title);
      break;
    case sync::BoxKind::YesOnly:
      platform_.errorBoxYesOnly(Q(text), title);
      break;
    case sync::BoxKind::OkWithoutOwner:
      platform_.messageBoxWithoutOwner(Q(text), title);
      break;
  }
}

bool FtpSiteSync::connectFtp() {
  std::unique_lock lock(site_.busy, std::try_to_lock);
  if (!lock.owns_lock()) {
    view_.showMessage(sync::kMsgTransferring, "", sync::BoxKind::Ok);
    return false;
  }
  RunFtpKeepingWindowAlive(view_, site_.ftp, [this](sync::SyncView& view) { sync::connectFtp(site_.ftp, view); });
  return site_.ftp.connected();
}

void FtpSiteSync::deleteIfPresent(const std::string& folder, const std::string& name) {
  std::unique_lock lock(site_.busy, std::try_to_lock);
  if (!lock.owns_lock()) throw catalogue::SiteCommandError(sync::kMsgTransferring);
  try {
    RunFtpKeepingWindowAlive(view_, site_.ftp,
                             [&](sync::SyncView&) { sync::deleteIfPresent(site_.ftp, folder, name); });
  } catch (const sync::FtpError& error) {
    throw catalogue::SiteCommandError(error.what());
  }
}

}  // namespace kestrova::ui
