#include "conversion_preview.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "bitmap_image.h"
#include "duration_to_str.h"

namespace kestrova::ui {

namespace {
constexpr int kPreviewWidth = 240;
}

ConversionPreviewWindow::ConversionPreviewWindow(QWidget* owner)
    : QLabel(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint) {
  setObjectName("ConversionPreview");
  setAlignment(Qt::AlignCenter);
  setScaledContents(false);
}

void ConversionPreviewWindow::showPicture(const QImage& picture, int64_t pts) {
  if (closed_->load() || taskOver_->load()) return;
  const QImage scaled = picture.scaledToWidth(kPreviewWidth, Qt::SmoothTransformation);
  setFixedSize(scaled.size());
  setPixmap(QPixmap::fromImage(scaled));
  setWindowTitle(QString::fromStdString(catalogue::DurationToStr(pts < 0 ? 0 : pts)));
  if (!isVisible()) {
    // Without a window manager that places it, a new window lands at 0,0,
    // over the main window's buttons.
    const QWidget* owner = parentWidget();
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    show();
  }
}

void ConversionPreviewWindow::taskEnded() {
  taskOver_->store(true);
  hide();
}

void ConversionPreviewWindow::closeEvent(QCloseEvent* event) {
  closed_->store(true);
  QLabel::closeEvent(event);
}

ConversionPreviewer::ConversionPreviewer(media::HandOver& handOver, ConversionPreviewWindow& window)
    : handOver_(handOver), window_(window), closed_(window.closedByUser()), taskOver_(window.taskOver()) {
  closed_->store(false);
  taskOver_->store(false);
}

bool ConversionPreviewer::Show(const media::Bitmap& picture, int, int64_t pts) {
  if (closed_->load() || taskOver_->load()) return false;
  // The picture is the engine's until we return: take a copy along.
  QImage copy = BitmapImage(picture).copy();
  ConversionPreviewWindow* window = &window_;
  return handOver_.Post([window, copy, pts] { window->showPicture(copy, pts); });
}

}  // namespace kestrova::ui
