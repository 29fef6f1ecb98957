#include "tls_link.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <stdexcept>

namespace kestrova::sync {
namespace {

std::string LastOpenSslError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "TLS 握手失败";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsAddress(const std::string& host) {
  unsigned char bytes[16];
  return inet_pton(AF_INET, host.c_str(), bytes) == 1 || inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

std::string Base64NoPadding(const unsigned char* bytes, int size) {
  std::string text(4 * ((size + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes, size);
  text.resize(static_cast<size_t>(length));
  while (!text.empty() && text.back() == '=') text.pop_back();
  return text;
}

// Runs one OpenSSL call until it stops asking to wait: 1 when it succeeded,
// 0 when the peer closed, -1 with failure set otherwise.
template <typename Call>
int Drive(SSL* ssl, int fd, const SocketWaits& waits, SocketFailure& failure, Call call) {
  for (;;) {
    ERR_clear_error();
    int result = call();
    if (result > 0) return result;
    int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      failure = WaitReady(fd, error == SSL_ERROR_WANT_WRITE, waits);
      if (failure != SocketFailure::None) return -1;
      continue;
    }
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    // A peer that drops the link without close_notify (some servers end
    // every listing so) reads as the end of the stream.
    if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;
    if (error == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
      ERR_clear_error();
      return 0;
    }
    failure = SocketFailure::Error;
    return -1;
  }
}

}  // namespace

TlsContext::TlsContext(const std::string& caFile) : caFile_(caFile) {
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (!ctx_) throw std::runtime_error("无法初始化 TLS");
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_default_verify_dir(ctx_);
  // Data connections resume the control connection's session.
  SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT);
  if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx_, caFile.c_str(), nullptr) != 1) {
    SSL_CTX_free(ctx_);
    ctx_ = nullptr;
    ERR_clear_error();
    throw std::runtime_error("无法读取证书文件：" + caFile);
  }
}

TlsContext::~TlsContext() {
  X509_STORE_free(fullStore_);
  SSL_CTX_free(ctx_);
}

X509_STORE* TlsContext::fullStore() const {
  std::call_once(fullStoreMade_, [this] {
    X509_STORE* store = X509_STORE_new();
    bool loaded = store && X509_STORE_set_default_paths(store) == 1 &&
                  (caFile_.empty() || X509_STORE_load_file(store, caFile_.c_str()) == 1);
    ERR_clear_error();
    if (loaded) fullStore_ = store;
    else X509_STORE_free(store);
  });
  return fullStore_;
}

TlsLink::~TlsLink() { SSL_free(ssl_); }

SocketFailure TlsLink::handshake(const TlsContext& context, int fd, const std::string& host, SSL_SESSION* reuse,
                                 const SocketWaits& waits, std::string& detail) {
  SSL_free(ssl_);
  ssl_ = SSL_new(context.get());
  if (!ssl_ || SSL_set_fd(ssl_, fd) != 1) {
    detail = LastOpenSslError();
    return SocketFailure::Error;
  }
  // The verdict is read after the handshake (verificationProblem), so the
  // handshake itself goes through whatever the certificate.
  SSL_set_verify(ssl_, SSL_VERIFY_NONE, nullptr);
  if (IsAddress(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, host.c_str());
    SSL_set1_host(ssl_, host.c_str());
  }
  if (reuse) SSL_set_session(ssl_, reuse);
  SocketFailure failure = SocketFailure::None;
  int result = Drive(ssl_, fd, waits, failure, [this] { return SSL_connect(ssl_); });
  if (result > 0) return SocketFailure::None;
  if (failure == SocketFailure::None) failure = SocketFailure::Closed;
  if (failure != SocketFailure::Cancelled) detail = "TLS 握手失败：" + LastOpenSslError();
  return failure;
}

SocketFailure TlsLink::send(int fd, std::string_view data, const SocketWaits& waits) {
  while (!data.empty()) {
    SocketFailure failure = SocketFailure::None;
    int chunk = static_cast<int>(std::min<size_t>(data.size(), 1 << 20));
    int sent = Drive(ssl_, fd, waits, failure, [&] { return SSL_write(ssl_, data.data(), chunk); });
    if (sent <= 0) return failure == SocketFailure::None ? SocketFailure::Closed : failure;
    data.remove_prefix(static_cast<size_t>(sent));
  }
  return SocketFailure::None;
}

long TlsLink::receive(int fd, char* buffer, size_t size, const SocketWaits& waits, SocketFailure& failure) {
  failure = SocketFailure::None;
  int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
  int got = Drive(ssl_, fd, waits, failure, [&] { return SSL_read(ssl_, buffer, chunk); });
  return got < 0 ? -1 : got;
}

void TlsLink::close(int fd, const SocketWaits& waits) {
  if (!ssl_) return;
  SocketFailure failure = SocketFailure::None;
  // One close_notify out; the server's own is not waited for.
  Drive(ssl_, fd, waits, failure, [this] {
    int result = SSL_shutdown(ssl_);
    return result >= 0 ? 1 : result;
  });
}

namespace {

bool IssuerUnknown(long result) {
  return result == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY || result == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
         result == X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE || result == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN ||
         result == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT;
}

// Verifies the chain the server sent against store, with the handshake's
// own checks (host name or address, purpose).
long VerifyAgainst(SSL* ssl, X509* certificate, X509_STORE* store) {
  X509_STORE_CTX* check = X509_STORE_CTX_new();
  if (!check) return X509_V_ERR_OUT_OF_MEM;
  long result = X509_V_ERR_UNSPECIFIED;
  if (X509_STORE_CTX_init(check, store, certificate, SSL_get_peer_cert_chain(ssl)) == 1 &&
      X509_STORE_CTX_set_default(check, "ssl_server") == 1 &&
      X509_VERIFY_PARAM_set1(X509_STORE_CTX_get0_param(check), SSL_get0_param(ssl)) == 1) {
    result = X509_verify_cert(check) == 1 ? X509_V_OK : X509_STORE_CTX_get_error(check);
  }
  X509_STORE_CTX_free(check);
  ERR_clear_error();
  return result;
}

}  // namespace

std::string TlsLink::verificationProblem(const TlsContext& context) const {
  if (!ssl_) return "没有建立 TLS 连接";
  X509* certificate = SSL_get0_peer_certificate(ssl_);
  if (!certificate) return "服务器没有出示证书";
  long result = SSL_get_verify_result(ssl_);
  if (IssuerUnknown(result))
    if (X509_STORE* store = context.fullStore()) result = VerifyAgainst(ssl_, certificate, store);
  switch (result) {
    case X509_V_OK: return "";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return "证书上的名称与服务器地址不符";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return "证书不是由受信任的机构签发的";
    case X509_V_ERR_CERT_HAS_EXPIRED: return "证书已过期";
    case X509_V_ERR_CERT_NOT_YET_VALID: return "证书尚未生效";
    default: return std::string("证书未通过验证（") + X509_verify_cert_error_string(result) + "）";
  }
}

std::string TlsLink::peerFingerprint() const {
  X509* certificate = ssl_ ? SSL_get0_peer_certificate(ssl_) : nullptr;
  if (!certificate) return "";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return "";
  return "SHA256:" + Base64NoPadding(digest, static_cast<int>(length));
}

SSL_SESSION* TlsLink::session() const { return ssl_ ? SSL_get_session(ssl_) : nullptr; }

std::string NormalizeFingerprint(const std::string& text) {
  std::string prefix = text.substr(0, 7);
  for (char& c : prefix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (prefix == "SHA256:") {
    std::string rest = text.substr(7);
    // "SHA256:AB:CD:..." is hex after all when it is 32 colon-separated bytes.
    if (rest.size() != 95 || rest[2] != ':') {
      while (!rest.empty() && rest.back() == '=') rest.pop_back();
      return "SHA256:" + rest;
    }
    return NormalizeFingerprint(rest);
  }
  std::string hex;
  for (char c : text)
    if (c != ':') hex += c;
  if (hex.size() != 64) return text;
  unsigned char bytes[32];
  for (size_t i = 0; i < 32; ++i) {
    unsigned value = 0;
    for (char c : hex.substr(2 * i, 2)) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return text;
      value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
    }
    bytes[i] = static_cast<unsigned char>(value);
  }
  return "SHA256:" + Base64NoPadding(bytes, 32);
}

}  // namespace kestrova::sync
