#include "thumbnail_fetcher.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace kestrova::catalogue {

ThumbnailFetcher::ThumbnailFetcher(QObject* parent) : QObject(parent) {
  connect(&network_, &QNetworkAccessManager::finished, this, &ThumbnailFetcher::onFinished);
}

void ThumbnailFetcher::fetch(const QUrl& url) {
  cancel();
  if (!url.isValid() || url.scheme().isEmpty()) return;
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  current_ = network_.get(request);
}

void ThumbnailFetcher::cancel() {
  if (current_) {
    QNetworkReply* stale = current_;
    current_ = nullptr;
    // A finished reply whose signal is still queued is simply ignored.
    if (stale->isRunning()) stale->abort();
  }
}

void ThumbnailFetcher::onFinished(QNetworkReply* reply) {
  reply->deleteLater();
  if (reply != current_) return;
  current_ = nullptr;
  if (reply->error() != QNetworkReply::NoError) return;
  QImage picture;
  if (!picture.loadFromData(reply->readAll(), "JPG")) return;
  emit fetched(picture);
}

}  // namespace kestrova::catalogue
