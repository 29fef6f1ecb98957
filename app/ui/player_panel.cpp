#include "player_panel.h"

#include <QPainter>

namespace kestrova::ui {

PlayerPanel::PlayerPanel(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::ClickFocus);  // a click on the playing picture takes the keyboard focus
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlayerPanel::setCaption(const QString& caption) {
  caption_ = caption;
  update();
}

void PlayerPanel::setPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

void PlayerPanel::clearPicture() {
  picture_ = QImage();
  update();
}

void PlayerPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!picture_.isNull()) {
    painter.drawImage(rect(), picture_);
    return;
  }
  painter.fillRect(rect(), palette().window());
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(rect().adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, caption_);
}

}  // namespace kestrova::ui
