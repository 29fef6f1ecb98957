// The service movie: the component through which every request reaches the
// back end. It offers the four host operations the windows rely on (load,
// call, reply event, ready-state event) and carries each request text to
// kestrova-service over HTTP.
//
// The movie file ("login.dll", "main.dll" in the current folder) holds the
// service's base address on its first line. A missing or unreadable file, or
// one without an http(s) address, means the movie cannot load: calls are then
// dropped, and only OnRequestFailed tells of them.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QUrl>
#include <memory>

namespace kestrova::service {

// What the back end handed out at login and wants back on every request.
// The login movie and the main movie share one.
struct ServiceSession {
  QByteArray token;
  // The sign-in request that was last accepted. When the back end has
  // forgotten the session (a restart, an expiry), the movie signs in again
  // with it and repeats the refused request, so the user loses nothing.
  QByteArray signInRequest;
};

class ServiceMovie : public QObject {
  Q_OBJECT

 public:
  enum class Kind {
    Login,  // answers the login request; raises no "ready"
    Main,   // raises "ready" once after its first load
  };

  ServiceMovie(Kind kind, std::shared_ptr<ServiceSession> session, QObject* parent = nullptr);

  // The current folder, a separator where it lacks one, then the file name.
  static QString MoviePath(const QString& fileName);

  // Loads (or reloads) the movie from its file. Requests still on their way
  // are kept: a reload never loses a reply.
  void setMovie(const QString& fullPath);
  QString movie() const { return moviePath_; }
  bool loaded() const { return baseUrl_.isValid(); }
  QUrl baseUrl() const { return baseUrl_; }

  // Hands a request text to the back end. Returns at once; the answer comes
  // as OnFSCommand. Requests go out one after another, in call order.
  QString CallFunction(const QString& request);

  // How long one request may take before it is given up (no event then).
  void setRequestTimeout(int milliseconds) { requestTimeoutMs_ = milliseconds; }

 signals:
  void OnFSCommand(const QString& command, const QString& args);
  void OnReadyStateChange(int newState);
  // The service answered without a command: it turned the request away
  // (too busy, or the request was not one it understands). message is what
  // to tell the user.
  void OnServiceBusy(const QString& message);
  // The end of one request, for the windows that follow what became of
  // their own: raised before OnFSCommand with the reply it carries, or,
  // when no answer came (the service is not there, or turned the request
  // away), with why, and then no OnFSCommand comes for it.
  void OnRequestAnswered(const QString& request, const QString& command, const QString& args);
  void OnRequestFailed(const QString& request, const QString& reason);

 private:
  // Where the request under way stands.
  enum class Stage {
    First,     // sent once
    Renewing,  // refused for want of a session; signing in again
    Repeated,  // sent again after a fresh sign-in; never renewed twice
  };

  void sendNext();
  void post(const QByteArray& body);
  void keepSignInAfterPasswordChange(const QByteArray& reply);
  void onFinished(QNetworkReply* reply);

  Kind kind_;
  std::shared_ptr<ServiceSession> session_;
  QNetworkAccessManager network_;
  QString moviePath_;
  QUrl baseUrl_;
  QQueue<QByteArray> pending_;
  QPointer<QNetworkReply> inFlight_;
  QByteArray inFlightBody_;  // the request the current exchange is about
  Stage stage_ = Stage::First;
  QByteArray refusedCommand_, refusedReply_;  // answered if renewing fails
  bool readyRaised_ = false;
  int requestTimeoutMs_ = 60000;
};

// Reads the base address out of a movie file; an invalid QUrl when there is none.
QUrl ReadMovieAddress(const QString& path);

// The address of one of the service web site's pages ("/member/", ...).
QUrl ServicePageUrl(const QUrl& base, const QString& path);

// Asks the service whether it is there, forcing a fresh connection. Blocks for
// at most timeoutMs while the caller's event loop keeps running.
bool CheckServiceConnection(const QUrl& base, int timeoutMs = 5000);

// The same check, telling a service that is there but whose certificate did
// not check out (untrusted authority, wrong name, expired) from one that
// cannot be reached; detail says what was wrong with the certificate.
enum class ServiceReachability { Reachable, Unreachable, Untrusted };
ServiceReachability CheckServiceReachability(const QUrl& base, QString* detail = nullptr, int timeoutMs = 5000);

}  // namespace kestrova::service
