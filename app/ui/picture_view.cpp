#include "picture_view.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

namespace kestrova::ui {

PictureView::PictureView(QWidget* parent, const QImage& picture, const QString& caption)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowTitleHint) {
  setObjectName("PictureView");
  setWindowTitle(caption);
  setModal(true);
  setFixedSize(picture.size());
  auto* label = new QLabel(this);
  label->setGeometry(rect());
  label->setPixmap(QPixmap::fromImage(picture));
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  if (parent != nullptr) {
    // Centred on the screen the owner is on.
    move(parent->screen()->geometry().center() - rect().center());
  }
}

void PictureView::mousePressEvent(QMouseEvent*) { accept(); }

void PictureView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kestrova::ui
