// Fetches a video's thumbnail from the site over HTTP without blocking the
// window. Only the answer to the latest request is delivered, so a slow
// answer for a row selected earlier never replaces the current picture.
// Failures (network, HTTP status, not a JPEG) deliver nothing.
#pragma once

#include <QImage>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkReply;

namespace kestrova::catalogue {

class ThumbnailFetcher : public QObject {
  Q_OBJECT

 public:
  explicit ThumbnailFetcher(QObject* parent = nullptr);

  // Starts fetching url; a fetch still running is abandoned.
  void fetch(const QUrl& url);
  // Abandons the running fetch, if any.
  void cancel();
  bool busy() const { return !current_.isNull(); }

 signals:
  void fetched(const QImage& picture);

 private:
  void onFinished(QNetworkReply* reply);

  QNetworkAccessManager network_;
  QPointer<QNetworkReply> current_;
};

}  // namespace kestrova::catalogue
