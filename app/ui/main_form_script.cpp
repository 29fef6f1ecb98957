// The embed code: the snippet in mmoScript, its colour pictures, copying it
// and previewing it.
#include "artwork.h"
#include "main_form.h"
#include "platform.h"

namespace kestrova::ui {

publishing::EmbedOptions TMainForm::embedOptions() const {
  publishing::EmbedOptions o;
  o.isFloor = isFloor;
  o.isMulVideofiles = isMulVideofiles;
  bool oneRowSelected = lvFiles->selectionModel()->selectedRows().size() == 1;
  if (oneRowSelected && cmbMul->currentIndex() == 1) o.fileName = currentVideo.fileName;
  o.playerWidth = edWidth->text().toStdString();
  o.playerHeight = edHeight->text().toStdString();
  o.displayCard = chkDisplayEntCard->isChecked();
  o.displayRec = chkAutocre->isChecked();
  o.displayZhimo = chkDisplayZhimo->isChecked();
  o.displayLogo = chkDisplayLogo->isChecked();
  o.autoplay = chkAutoPlay->isChecked();
  o.title = edTitle->text().toStdString();
  o.titleBgColor = titleBgColor;
  o.titleFontColor = titleFontColor;
  o.borderLineColor = borderLineColor;
  return o;
}

void TMainForm::createScript() {
  scriptQuery = publishing::BuildScriptQuery(embedOptions());
  scriptText = publishing::BuildScriptText(edDomain->text().toStdString(), scriptQuery);
  mmoScript->clear();
  mmoScript->setPlainText(QString::fromStdString(scriptText));
}

void TMainForm::cmbKindChange() {
  isFloor = cmbKind->currentIndex() == 0;
  createScript();
}

void TMainForm::cmbMulChange() {
  isMulVideofiles = cmbMul->currentIndex() == 0;
  createScript();
}

void TMainForm::chkDisplayEntCardClick() { createScript(); }

bool TMainForm::pickColour(std::string& target, QColor* chosen) {
  std::optional<QColor> colour = context_.platform.chooseColour(this, QColor("#" + QString::fromStdString(target)));
  if (!colour) return false;
  *chosen = *colour;
  target = publishing::ColourHex(colour->red(), colour->green(), colour->blue());
  return true;
}

void TMainForm::Image4Click() {
  QColor colour;
  if (!pickColour(titleBgColor, &colour)) return;
  QPalette palette = edTitle->palette();
  palette.setColor(QPalette::Base, colour);
  edTitle->setPalette(palette);
  Image4->setPixmap(artwork::Swatch(Image4->size(), colour));
  createScript();
}

void TMainForm::Image6Click() {
  QColor colour;
  if (!pickColour(titleFontColor, &colour)) return;
  QPalette palette = edTitle->palette();
  palette.setColor(QPalette::Text, colour);
  edTitle->setPalette(palette);
  Image6->setPixmap(artwork::Swatch(Image6->size(), colour));
  createScript();
}

void TMainForm::Image7Click() {
  QColor colour;
  if (!pickColour(borderLineColor, &colour)) return;
  Image7->setPixmap(artwork::Swatch(Image7->size(), colour));
  createScript();
}

void TMainForm::btnCopyClick() {
  // Taking the focus ends editing in the field that had it, whose exit
  // handler rebuilds the code first.
  mmoScript->setFocus(Qt::OtherFocusReason);
  mmoScript->selectAll();
  context_.platform.copyToClipboard(mmoScript->toPlainText());
}

void TMainForm::btnPreClick() {
  std::string address = publishing::PreviewAddress(edDomain->text().toStdString(), scriptQuery);
  context_.platform.openAddress(QUrl(QString::fromStdString(address), QUrl::TolerantMode));
}

}  // namespace kestrova::ui
