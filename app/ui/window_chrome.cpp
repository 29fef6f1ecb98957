#include "window_chrome.h"

#include <QBitmap>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWindow>

namespace kestrova::ui {

QColor ColourFromNumber(int number) { return QColor(number & 0xff, (number >> 8) & 0xff, (number >> 16) & 0xff); }

namespace {

// The picture with every pixel of the key colour made fully transparent.
QImage KeyedOut(const QPixmap& picture, int colourNumber) {
  QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  const QRgb key = ColourFromNumber(colourNumber).rgb() & RGB_MASK;
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if ((line[x] & RGB_MASK) == key) line[x] = 0;
    }
  }
  return image;
}

}  // namespace

void ApplyWindowShape(QWidget* window, const QPixmap& background) {
  // Offscreen rendering (tests, screenshots) has no window shapes.
  if (QGuiApplication::platformName() == "offscreen") return;
  window->setMask(QBitmap::fromImage(KeyedOut(background, kWindowTransparentColour).createAlphaMask()));
}

namespace {

class DragFilter : public QObject {
 public:
  DragFilter(QWidget* handle, QWidget* window) : QObject(handle), window_(window) {}

  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // The window manager moves the window where it can; elsewhere we
        // follow the pointer ourselves.
        if (window_->windowHandle() && window_->windowHandle()->startSystemMove()) return true;
        grabOffset_ = mouse->globalPosition().toPoint() - window_->frameGeometry().topLeft();
        dragging_ = true;
        return true;
      }
      case QEvent::MouseMove:
        if (dragging_) {
          window_->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - grabOffset_);
          return true;
        }
        break;
      case QEvent::MouseButtonRelease:
        dragging_ = false;
        break;
      default:
        break;
    }
    return false;
  }

 private:
  QWidget* window_;
  QPoint grabOffset_;
  bool dragging_ = false;
};

class ExitFilter : public QObject {
 public:
  ExitFilter(QWidget* widget, std::function<void()> handler) : QObject(widget), handler_(std::move(handler)) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusOut) {
      Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) handler_();
    }
    return false;
  }

 private:
  std::function<void()> handler_;
};

}  // namespace

void MakeDragHandle(QWidget* handle, QWidget* window) { handle->installEventFilter(new DragFilter(handle, window)); }

QLabel* MakePicture(QWidget* parent, const QPixmap& picture, const QRect& geometry) {
  auto* label = new QLabel(parent);
  label->setPixmap(picture);
  label->setGeometry(geometry);
  label->setScaledContents(true);
  return label;
}

PictureButton::PictureButton(QWidget* parent, const QPixmap& picture, const QRect& geometry)
    : QToolButton(parent), picture_(picture) {
  setGeometry(geometry);
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
  setIcon(QIcon(picture_));
  setIconSize(geometry.size());
  setStyleSheet("QToolButton { border: none; background: transparent; padding: 0; }"
                "QToolButton:hover { background: rgba(255,255,255,40); border-radius: 4px; }"
                "QToolButton:disabled { opacity: 0.5; }");
}

void PictureButton::setTransparentColour(int colourNumber) {
  setIcon(QIcon(QPixmap::fromImage(KeyedOut(picture_, colourNumber))));
}

void OnExit(QWidget* widget, std::function<void()> handler) {
  widget->installEventFilter(new ExitFilter(widget, std::move(handler)));
}

}  // namespace kestrova::ui
