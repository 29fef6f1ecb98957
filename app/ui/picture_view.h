// The full-size view of a picture: a fixed window exactly the picture's size
// with a caption of its own; a click, Enter or Escape closes it.
#pragma once

#include <QDialog>
#include <QImage>

namespace kestrova::ui {

class PictureView : public QDialog {
 public:
  PictureView(QWidget* parent, const QImage& picture, const QString& caption);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace kestrova::ui
