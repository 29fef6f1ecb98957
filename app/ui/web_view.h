// A small stand-in for an embedded web browser: it shows a page of the
// service web site (fetched without blocking) or a local picture file.
#pragma once

#include <QNetworkAccessManager>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

class QNetworkReply;

namespace kestrova::ui {

class WebView : public QTextBrowser {
  Q_OBJECT

 public:
  explicit WebView(QWidget* parent);

  // Shows the address: an http(s) page, a local picture, or a local page.
  void navigate(const QUrl& address);
  QUrl address() const { return address_; }

 private:
  void showLocalFile(const QString& path);

  QNetworkAccessManager network_;
  QPointer<QNetworkReply> loading_;
  QUrl address_;
};

}  // namespace kestrova::ui
