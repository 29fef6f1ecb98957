#include "web_view.h"

#include <QFile>
#include <QImageReader>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace kestrova::ui {

WebView::WebView(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setFrameShape(QFrame::NoFrame);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void WebView::navigate(const QUrl& address) {
  address_ = address;
  if (loading_ && loading_->isRunning()) loading_->abort();
  picture_ = QImage();
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  if (address.isLocalFile()) {
    showLocalFile(address.toLocalFile());
    return;
  }
  if (!address.isValid()) return;
  QNetworkRequest request(address);
  request.setTransferTimeout(15000);
  loading_ = network_.get(request);
  connect(loading_, &QNetworkReply::finished, this, [this, reply = loading_.data()] {
    reply->deleteLater();
    if (reply != loading_) return;
    if (reply->error() == QNetworkReply::NoError) {
      setHtml(QString::fromUtf8(reply->readAll()));
    } else {
      setPlainText(reply->errorString());
    }
  });
}

void WebView::showLocalFile(const QString& path) {
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  picture_ = reader.read();
  if (!picture_.isNull()) {
    showPicture();
    return;
  }
  QFile file(path);
  if (file.open(QIODevice::ReadOnly) && (path.endsWith(".htm") || path.endsWith(".html"))) {
    setHtml(QString::fromUtf8(file.readAll()));
  } else {
    setPlainText(path);
  }
}

QSize WebView::pictureRoom() const {
  // The widget's own contents, not the viewport: before the first show the
  // viewport has not been laid out yet and would give a picture too small.
  int margin = 2 * static_cast<int>(document()->documentMargin());
  return contentsRect().size() - QSize(margin, margin);
}

void WebView::showPicture() {
  // A picture is always shown whole and centred: shrunk to fit when larger
  // than the view, at its own size otherwise; no scroll bars.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QSize room = pictureRoom().expandedTo(QSize(1, 1));
  QImage shown = picture_;
  if (shown.width() > room.width() || shown.height() > room.height())
    shown = picture_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  shownPictureSize_ = shown.size();
  document()->clear();
  document()->addResource(QTextDocument::ImageResource, QUrl("kestrova:picture"), shown);
  setHtml(QStringLiteral("<p align=center style='margin:0'><img src='kestrova:picture'></p>"));
}

void WebView::resizeEvent(QResizeEvent* event) {
  QTextBrowser::resizeEvent(event);
  if (!picture_.isNull()) showPicture();
}

}  // namespace kestrova::ui
