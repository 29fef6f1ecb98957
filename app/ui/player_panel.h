// Panel1: the preview panel the player draws into. It shows its caption (the
// hint, or the player's error) until a picture arrives, then the picture;
// clearing the picture brings the caption back.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace kestrova::ui {

class PlayerPanel : public QWidget {
 public:
  explicit PlayerPanel(QWidget* parent);

  QString caption() const { return caption_; }
  void setCaption(const QString& caption);
  const QImage& picture() const { return picture_; }
  void setPicture(QImage picture);
  void clearPicture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  QImage picture_;
};

}  // namespace kestrova::ui
