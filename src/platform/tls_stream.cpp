#include "platform/tls_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "platform/encoding.h"
#include "platform/socket.h"
#include "util/errors.h"

namespace tovra {

void KeepNewestSession(std::vector<TTlsSession>& kept, TTlsSession session) {
  kept.push_back(std::move(session));
  if (kept.size() > kKeptTlsSessions) kept.erase(kept.begin(), kept.end() - kKeptTlsSessions);
}

// Keeps the newest sessions the server hands out with the stream they came on.
int KeepNewSession(SSL* ssl, SSL_SESSION* session) {
  auto* stream = static_cast<TTlsStream*>(SSL_get_app_data(ssl));
  if (stream == nullptr) return 0;
  KeepNewestSession(stream->newSessions_, TTlsSession(session, SSL_SESSION_free));
  return 1;
}

namespace {

// One client context for the process: the system store, TLS 1.2 or later.
SSL_CTX* ClientContext() {
  static SSL_CTX* const context = [] {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr) throw ETlsError("TLS を初期化できません");
    // The library writes to sockets with plain write(): a server that has
    // closed its end must give an error, not end the process.
    ::signal(SIGPIPE, SIG_IGN);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    // The verdict is taken after the handshake (a pin may override it).
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, KeepNewSession);
    // A server that closes a data connection without the closing alert has
    // still ended it; listings are read to that end.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return ctx;
  }();
  return context;
}

std::string OpenSslErrors() {
  std::string text;
  while (unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

std::string NameText(const X509_NAME* name) {
  BIO* bio = BIO_new(BIO_s_mem());
  X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(size));
  BIO_free(bio);
  return Utf8ToCp932(text);
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm tm{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) return "?";
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return buffer;
}

std::string Fingerprint(X509* cert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(cert, EVP_sha256(), digest, &length);
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0) text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}

TCertificateInfo DescribePeer(SSL* ssl) {
  TCertificateInfo info;
  X509* cert = SSL_get1_peer_certificate(ssl);
  if (cert == nullptr) {
    info.Problem = "サーバーが証明書を示しませんでした";
    return info;
  }
  info.Subject = NameText(X509_get_subject_name(cert));
  info.Issuer = NameText(X509_get_issuer_name(cert));
  info.NotBefore = TimeText(X509_get0_notBefore(cert));
  info.NotAfter = TimeText(X509_get0_notAfter(cert));
  info.Sha256 = Fingerprint(cert);
  X509_free(cert);
  long result = SSL_get_verify_result(ssl);
  info.Verified = result == X509_V_OK;
  if (!info.Verified) info.Problem = X509_verify_cert_error_string(result);
  return info;
}

}  // namespace

TTlsStream::TTlsStream(int fd, const std::string& host, const TTlsSession& resume, TTlsWait wait)
    : wait_(std::move(wait)) {
  ERR_clear_error();
  ssl_ = SSL_new(ClientContext());
  if (ssl_ == nullptr) throw ETlsError("TLS を初期化できません: " + OpenSslErrors());
  SSL_set_fd(ssl_, fd);
  SSL_set_app_data(ssl_, this);
  std::string bare = host;
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
  if (IsDottedIPv4(bare) || IsIPv6Literal(bare)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, bare.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, bare.c_str());
    SSL_set1_host(ssl_, bare.c_str());
  }
  if (resume) SSL_set_session(ssl_, resume.get());
  try {
    for (;;) {
      ERR_clear_error();
      int result = SSL_connect(ssl_);
      if (result == 1) break;
      if (!WaitFor(result)) Raise(result, "接続");
    }
  } catch (...) {
    SSL_free(ssl_);
    throw;
  }
  certificate_ = DescribePeer(ssl_);
}

TTlsStream::~TTlsStream() {
  // A stream that ended without both closing alerts still leaves its session
  // resumable: data connections after it resume the same session.
  SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
  SSL_free(ssl_);
}

TTlsSession TTlsStream::Session() const { return TTlsSession(SSL_get1_session(ssl_), SSL_SESSION_free); }

bool TTlsStream::SessionReused() const { return SSL_session_reused(ssl_) == 1; }

bool TTlsStream::WaitFor(int result) {
  int error = SSL_get_error(ssl_, result);
  if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
  wait_(error == SSL_ERROR_WANT_WRITE);
  return true;
}

void TTlsStream::Raise(int result, const char* during) {
  int error = SSL_get_error(ssl_, result);
  int saved = errno;
  std::string detail = OpenSslErrors();
  if (error == SSL_ERROR_SYSCALL && detail.empty()) RaiseSocketError(saved != 0 ? saved : ECONNRESET);
  if (error == SSL_ERROR_ZERO_RETURN) RaiseSocketError(ECONNRESET);
  throw ETlsError(FormatMessage("TLS の%sに失敗しました: %s", {during, detail.empty() ? "?" : detail}));
}

std::size_t TTlsStream::Send(const char* data, std::size_t size) {
  for (;;) {
    ERR_clear_error();
    std::size_t written = 0;
    int result = SSL_write_ex(ssl_, data, size, &written);
    if (result == 1) return written;
    if (!WaitFor(result)) Raise(result, "送信");
  }
}

std::size_t TTlsStream::Receive(char* buffer, std::size_t size) {
  for (;;) {
    ERR_clear_error();
    errno = 0;
    std::size_t got = 0;
    int result = SSL_read_ex(ssl_, buffer, size, &got);
    if (result == 1) return got;
    int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    // With unexpected ends ignored, a bare close arrives as a clean end.
    if (error == SSL_ERROR_SYSCALL && errno == 0 && ERR_peek_error() == 0) return 0;
    if (!WaitFor(result)) Raise(result, "受信");
  }
}

std::vector<TTlsSession> TTlsStream::TakeNewSessions() {
  std::vector<TTlsSession> taken;
  taken.swap(newSessions_);
  return taken;
}

void TTlsStream::ReadAhead() {
  // The socket is non-blocking: this takes what is there and never waits.
  char byte = 0;
  std::size_t got = 0;
  ERR_clear_error();
  SSL_read_ex(ssl_, &byte, 1, &got);
  ERR_clear_error();
}

bool TTlsStream::DataArrived() {
  // The socket is non-blocking: a peek never waits.
  char byte = 0;
  std::size_t got = 0;
  ERR_clear_error();
  const bool data = SSL_peek_ex(ssl_, &byte, 1, &got) == 1;
  ERR_clear_error();
  return data;
}

bool TTlsStream::Pending() const { return SSL_pending(ssl_) > 0; }

void TTlsStream::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  ERR_clear_error();
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

std::string CanonicalSha256(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else if (c != ':' && c != ' ' && c != '-') {
      return {};
    }
  }
  if (hex.size() != 64) return {};
  std::string canonical;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (i > 0) canonical += ':';
    canonical += hex.substr(i, 2);
  }
  return canonical;
}

}  // namespace tovra
