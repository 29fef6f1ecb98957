// A small stand-in for an embedded web browser: it shows a page of the
// service web site (fetched without blocking) or a local picture file.
#pragma once

#include <QImage>
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
  // The size a local picture is shown at (empty when none is shown).
  QSize shownPictureSize() const { return picture_.isNull() ? QSize() : shownPictureSize_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void showLocalFile(const QString& path);
  void showPicture();
  QSize pictureRoom() const;

  QNetworkAccessManager network_;
  QPointer<QNetworkReply> loading_;
  QUrl address_;
  QImage picture_;  // the local picture shown, at its own size
  QSize shownPictureSize_;
};

}  // namespace kestrova::ui
