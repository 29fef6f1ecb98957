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
  QImage picture = reader.read();
  if (!picture.isNull()) {
    document()->clear();
    document()->addResource(QTextDocument::ImageResource, QUrl("kestrova:picture"),
                            picture.scaled(viewport()->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    setHtml("<p align=center><img src='kestrova:picture'></p>");
    return;
  }
  QFile file(path);
  if (file.open(QIODevice::ReadOnly) && (path.endsWith(".htm") || path.endsWith(".html"))) {
    setHtml(QString::fromUtf8(file.readAll()));
  } else {
    setPlainText(path);
  }
}

}  // namespace kestrova::ui
