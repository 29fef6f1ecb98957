// TLS over one of our non-blocking sockets (OpenSSL), with the same sliced,
// cancellable waits as the plain socket calls. The certificate is judged
// after the handshake rather than inside it, so a refusal can name the
// certificate's fingerprint and the user can choose to trust it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "ftp_socket.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;
typedef struct x509_store_st X509_STORE;

namespace kestrova::sync {

// One client context: the system's CA store plus an optional file of extra
// trusted certificates. Throws std::runtime_error when caFile cannot be read.
//
// The handshake looks CAs up one by one in the system's hashed certificate
// folder; reading the system's whole bundle costs some 40 ms, most of a
// scan of a small site, so it is read only when that lookup finds no issuer
// (a system whose folder is not hashed) to judge the certificate again.
class TlsContext {
 public:
  explicit TlsContext(const std::string& caFile);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;
  SSL_CTX* get() const { return ctx_; }
  const std::string& caFile() const { return caFile_; }
  // The whole system store plus caFile, read on first use; null when it
  // cannot be made.
  X509_STORE* fullStore() const;

 private:
  SSL_CTX* ctx_ = nullptr;
  std::string caFile_;
  mutable std::once_flag fullStoreMade_;
  mutable X509_STORE* fullStore_ = nullptr;
};

class TlsLink {
 public:
  TlsLink() = default;
  ~TlsLink();
  TlsLink(const TlsLink&) = delete;
  TlsLink& operator=(const TlsLink&) = delete;

  // Runs the client handshake on fd, checking the certificate against host
  // (a name or an address). reuse: the control connection's session, which
  // FTP servers expect a data connection to resume. detail says why a
  // handshake failed.
  SocketFailure handshake(const TlsContext& context, int fd, const std::string& host, SSL_SESSION* reuse,
                          const SocketWaits& waits, std::string& detail);
  SocketFailure send(int fd, std::string_view data, const SocketWaits& waits);
  long receive(int fd, char* buffer, size_t size, const SocketWaits& waits, SocketFailure& failure);
  // Sends close_notify, so the server can tell a finished upload from a cut one.
  void close(int fd, const SocketWaits& waits);

  // Empty when the certificate passed (against context's CAs, the ones the
  // handshake ran with); otherwise why it did not, in Chinese.
  std::string verificationProblem(const TlsContext& context) const;
  // "SHA256:" and the base64 of the certificate's SHA-256, as for SSH keys.
  std::string peerFingerprint() const;
  SSL_SESSION* session() const;

 private:
  SSL* ssl_ = nullptr;
};

// A connection that may or may not run TLS: what the FTP client talks over.
struct Stream {
  UniqueFd fd;
  std::unique_ptr<TlsLink> tls;

  bool valid() const { return fd.valid(); }
  SocketFailure send(std::string_view data, const SocketWaits& waits) {
    return tls ? tls->send(fd.get(), data, waits) : SendAll(fd.get(), data, waits);
  }
  long receive(char* buffer, size_t size, const SocketWaits& waits, SocketFailure& failure) {
    return tls ? tls->receive(fd.get(), buffer, size, waits, failure)
               : ReceiveSome(fd.get(), buffer, size, waits, failure);
  }
  void reset() {
    tls.reset();
    fd.reset();
  }
};

// Fingerprints are compared in one form: "SHA256:<base64 without padding>".
// Also accepts the colon-separated hex that openssl prints.
std::string NormalizeFingerprint(const std::string& text);

}  // namespace kestrova::sync
