#include "service_movie.h"

#include "reply_readers.h"
#include "request_texts.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>

namespace kestrova::service {

namespace {
const char* const kSessionHeader = "X-Session";
const char* const kReplyCommandHeader = "X-Reply-Command";
const char* const kSessionExpiredHeader = "X-Session-Expired";
// An https service's certificate is checked against the system's
// certificate authorities and, for a private deployment, the authority in
// the file KESTROVA_CA_FILE names. Checking is never switched off.
void TrustPrivateAuthority(QNetworkRequest& request) {
  if (request.url().scheme() != "https") return;
  // Read again only when the variable names another file.
  static QByteArray loadedFrom;
  static QList<QSslCertificate> privateAuthorities;
  QByteArray file = qgetenv("KESTROVA_CA_FILE");
  if (file != loadedFrom) {
    loadedFrom = file;
    privateAuthorities = file.isEmpty() ? QList<QSslCertificate>()
                                        : QSslCertificate::fromPath(QString::fromLocal8Bit(file));
    if (!file.isEmpty() && privateAuthorities.isEmpty())
      qWarning("KESTROVA_CA_FILE %s holds no certificate", file.constData());
  }
  if (privateAuthorities.isEmpty()) return;
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.addCaCertificates(privateAuthorities);
  request.setSslConfiguration(configuration);
}
}  // namespace

QUrl ReadMovieAddress(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  while (!file.atEnd()) {
    QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    QUrl url(line, QUrl::StrictMode);
    if (url.isValid() && (url.scheme() == "http" || url.scheme() == "https") && !url.host().isEmpty())
      return url;
    return {};
  }
  return {};
}

QUrl ServicePageUrl(const QUrl& base, const QString& path) {
  QUrl url = base;
  QString basePath = url.path();
  if (basePath.endsWith('/')) basePath.chop(1);
  url.setPath(basePath + path);
  return url;
}

bool CheckServiceConnection(const QUrl& base, int timeoutMs) {
  return CheckServiceReachability(base, nullptr, timeoutMs) == ServiceReachability::Reachable;
}

ServiceReachability CheckServiceReachability(const QUrl& base, QString* detail, int timeoutMs) {
  if (!base.isValid()) return ServiceReachability::Unreachable;
  QNetworkAccessManager network;
  QNetworkRequest request(ServicePageUrl(base, "/health"));
  TrustPrivateAuthority(request);
  request.setTransferTimeout(timeoutMs);
  // A fresh connection each time, so the answer says something about now.
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setRawHeader("Connection", "close");
  QNetworkReply* reply = network.get(request);
  QStringList certificateErrors;
  QObject::connect(reply, &QNetworkReply::sslErrors, [&](const QList<QSslError>& errors) {
    for (const QSslError& e : errors) certificateErrors << e.errorString();
  });
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  // Repaints and network traffic go on while we wait; clicks and keys wait
  // until the answer is in, so a second sign-in cannot start inside this one.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  bool ok = reply->error() == QNetworkReply::NoError &&
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
  reply->deleteLater();
  if (ok) return ServiceReachability::Reachable;
  if (!certificateErrors.isEmpty()) {
    if (detail) *detail = certificateErrors.join(QStringLiteral("; "));
    return ServiceReachability::Untrusted;
  }
  return ServiceReachability::Unreachable;
}

ServiceMovie::ServiceMovie(Kind kind, std::shared_ptr<ServiceSession> session, QObject* parent)
    : QObject(parent), kind_(kind), session_(session ? std::move(session) : std::make_shared<ServiceSession>()) {
  connect(&network_, &QNetworkAccessManager::finished, this, &ServiceMovie::onFinished);
}

QString ServiceMovie::MoviePath(const QString& fileName) {
  QString dir = QDir::currentPath();
  if (!dir.endsWith('/')) dir += '/';
  return dir + fileName;
}

void ServiceMovie::setMovie(const QString& fullPath) {
  moviePath_ = fullPath;
  baseUrl_ = ReadMovieAddress(fullPath);
  if (!loaded()) {
    qWarning("service movie %s cannot be loaded: no service address in it", qPrintable(fullPath));
    return;
  }
  // Like a real movie, the load completes after the setter returns.
  QTimer::singleShot(0, this, [this] {
    if (!loaded()) return;
    emit OnReadyStateChange(4);
    if (kind_ == Kind::Main && !readyRaised_) {
      // Raised once per run: a "ready" on every reload would reconnect FTP at
      // every activation of the window.
      readyRaised_ = true;
      emit OnFSCommand("ready", QString());
    }
  });
  sendNext();
}

QString ServiceMovie::CallFunction(const QString& request) {
  if (!loaded()) {
    // Told after the caller has returned, as every other outcome is.
    QMetaObject::invokeMethod(
        this, [this, request] { emit OnRequestFailed(request, QStringLiteral("没有后台服务的地址（%1）").arg(moviePath_)); },
        Qt::QueuedConnection);
    return {};
  }
  pending_.enqueue(request.toUtf8());
  sendNext();
  return {};
}

void ServiceMovie::sendNext() {
  if (inFlight_ || pending_.isEmpty() || !loaded()) return;
  inFlightBody_ = pending_.dequeue();
  stage_ = Stage::First;
  post(inFlightBody_);
}

void ServiceMovie::post(const QByteArray& body) {
  QNetworkRequest request(ServicePageUrl(baseUrl_, "/service"));
  TrustPrivateAuthority(request);
  request.setHeader(QNetworkRequest::ContentTypeHeader, "text/xml; charset=utf-8");
  request.setTransferTimeout(requestTimeoutMs_);
  if (!session_->token.isEmpty()) request.setRawHeader(kSessionHeader, session_->token);
  inFlight_ = network_.post(request, body);
}

// The back end now takes only the new password; a later silent sign-in must
// use it.
void ServiceMovie::keepSignInAfterPasswordChange(const QByteArray& reply) {
  if (session_->signInRequest.isEmpty()) return;
  try {
    if (getReplyValue(reply.toStdString(), "data.msg.item", "result") != "success") return;
  } catch (const ReplyParseError&) {
    return;  // the window that reads this reply reports it
  }
  std::string renewed = SignInAfterPasswordChange(session_->signInRequest.toStdString(), inFlightBody_.toStdString());
  if (!renewed.empty()) session_->signInRequest = QByteArray::fromStdString(renewed);
}

void ServiceMovie::onFinished(QNetworkReply* reply) {
  reply->deleteLater();
  if (reply != inFlight_) return;
  inFlight_ = nullptr;
  QByteArray command = reply->rawHeader(kReplyCommandHeader);
  QByteArray body = reply->readAll();
  QByteArray token = reply->rawHeader(kSessionHeader);
  bool answered = !command.isEmpty() && (reply->error() == QNetworkReply::NoError ||
                                         reply->error() >= QNetworkReply::ContentAccessDenied);
  if (!answered) qWarning("service request got no answer: %s", qPrintable(reply->errorString()));
  // An HTTP answer without a command is the service turning the request away
  // (busy, most often); without a word the user would wait for ever.
  bool turnedAway = command.isEmpty() && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 0;
  const QString request = QString::fromUtf8(inFlightBody_);
  if (turnedAway && stage_ != Stage::Renewing) {
    sendNext();
    emit OnServiceBusy(QStringLiteral("服务繁忙，请稍后再试"));
    emit OnRequestFailed(request, QStringLiteral("后台服务繁忙，没有受理"));
    return;
  }

  if (stage_ == Stage::Renewing) {
    // The answer to our own sign-in: repeat the refused request with the new
    // session, or hand the user the refusal it first got.
    if (!token.isEmpty()) {
      session_->token = token;
      stage_ = Stage::Repeated;
      post(inFlightBody_);
      return;
    }
    command = refusedCommand_;
    body = refusedReply_;
    answered = true;
  } else if (answered) {
    if (!token.isEmpty()) {
      session_->token = token;
      session_->signInRequest = inFlightBody_;
    }
    if (command == "editEntPwd") keepSignInAfterPasswordChange(body);
    bool sessionLost = reply->rawHeader(kSessionExpiredHeader) == "1";
    if (sessionLost && stage_ == Stage::First && !session_->signInRequest.isEmpty()) {
      refusedCommand_ = command;
      refusedReply_ = body;
      stage_ = Stage::Renewing;
      post(session_->signInRequest);
      return;
    }
  }

  sendNext();
  if (!answered) {
    emit OnRequestFailed(request, QStringLiteral("后台服务没有应答（%1）").arg(reply->errorString()));
    return;
  }
  emit OnRequestAnswered(request, QString::fromUtf8(command), QString::fromUtf8(body));
  emit OnFSCommand(QString::fromUtf8(command), QString::fromUtf8(body));
}

}  // namespace kestrova::service
