#include "upload_panel_model.h"

#include "date_text.h"

namespace kestrova::sync {

ListRow RowTexts(const ChangeRow& row) {
  return ListRow{row.name,
                 {DateTimeText(row.localTime), row.localPath, kUploadDirectionText, row.serverPath,
                  DateTimeText(row.serverTime), row.state, row.serverDirectory}};
}

void UploadPanelModel::changed() {
  if (onChanged) onChanged();
}

void UploadPanelModel::setServerPathField(const std::string& text) {
  fields.serverPath = text;
  changed();
}

void UploadPanelModel::showUploadPanel() {
  uploadPanelShown = true;
  changed();
}

void UploadPanelModel::setStatus(const std::string& text) {
  status = text;
  statusHistory.push_back(text);
  changed();
}

void UploadPanelModel::setRunning(bool running) {
  buttons.btnscan = !running;
  buttons.btnUpload2 = !running;
  buttons.btntestConn = !running;
  buttons.btnpauseupload = running;
  changed();
}

void UploadPanelModel::clearRows() {
  rows.clear();
  changed();
}

void UploadPanelModel::appendRow(const ChangeRow& row) {
  rows.push_back(RowTexts(row));
  changed();
}

void UploadPanelModel::setFirstRowState(const std::string& state) {
  if (!rows.empty()) rows.front().cells[5] = state;
  changed();
}

void UploadPanelModel::removeFirstRow() {
  if (!rows.empty()) rows.erase(rows.begin());
  changed();
}

void UploadPanelModel::showMessage(const std::string& text, const std::string& caption, BoxKind kind) {
  messages.push_back({text, caption, kind});
  if (onMessage) onMessage(messages.back());
}

}  // namespace kestrova::sync
