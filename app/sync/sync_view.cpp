#include "sync_view.h"

namespace kestrova::sync {

ConnectionFields MarshalledView::connectionFields() {
  ConnectionFields fields;
  run_([&] { fields = target_.connectionFields(); });
  return fields;
}

void MarshalledView::setServerPathField(const std::string& text) {
  run_([&] { target_.setServerPathField(text); });
}

void MarshalledView::showUploadPanel() {
  run_([&] { target_.showUploadPanel(); });
}

void MarshalledView::setStatus(const std::string& text) {
  run_([&] { target_.setStatus(text); });
}

void MarshalledView::setRunning(bool running) {
  run_([&] { target_.setRunning(running); });
}

void MarshalledView::clearRows() {
  run_([&] { target_.clearRows(); });
}

void MarshalledView::appendRow(const ChangeRow& row) {
  run_([&] { target_.appendRow(row); });
}

void MarshalledView::setFirstRowState(const std::string& state) {
  run_([&] { target_.setFirstRowState(state); });
}

void MarshalledView::removeFirstRow() {
  run_([&] { target_.removeFirstRow(); });
}

void MarshalledView::showMessage(const std::string& text, const std::string& caption, BoxKind kind) {
  run_([&] { target_.showMessage(text, caption, kind); });
}

TrustAnswer MarshalledView::askTrust(const std::string& text, const std::string& fingerprint) {
  TrustAnswer answer = TrustAnswer::Refuse;
  run_([&] { answer = target_.askTrust(text, fingerprint); });
  return answer;
}

}  // namespace kestrova::sync
