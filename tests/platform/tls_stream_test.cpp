// The TLS layer against a scripted TLS 1.3 server on a socket pair: a
// server may hand out any number of session tickets, and the client keeps
// only the newest few.
#include "platform/tls_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace tovra {
namespace {

// A self-signed certificate and its key, made in memory.
struct TestIdentity {
  TestIdentity() {
    key = EVP_EC_gen("P-256");
    cert = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
  }
  ~TestIdentity() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
};

// Accepts one TLS 1.3 client on fd, sends `tickets` session tickets, each
// with the lifetime hint 1000 + its number, then "done" and closes.
void ServeTickets(int fd, int tickets) {
  TestIdentity identity;
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
  SSL_CTX_use_certificate(ctx, identity.cert);
  SSL_CTX_use_PrivateKey(ctx, identity.key);
  SSL_CTX_set_num_tickets(ctx, 0);
  SSL* ssl = SSL_new(ctx);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) == 1) {
    for (int i = 0; i < tickets; ++i) {
      SSL_SESSION_set_timeout(SSL_get_session(ssl), 1000 + i);
      SSL_new_session_ticket(ssl);
      SSL_do_handshake(ssl);
    }
    SSL_write(ssl, "done", 4);
    SSL_shutdown(ssl);
  }
  SSL_free(ssl);
  SSL_CTX_free(ctx);
  ::close(fd);
}

void WaitOnFd(int fd, bool writable) {
  pollfd p{fd, static_cast<short>(writable ? POLLOUT : POLLIN), 0};
  if (::poll(&p, 1, 5000) != 1) throw ETlsError("test peer silent");
}

TEST(TlsStream, OnlyTheNewestSessionTicketsAreKept) {
  for (int tickets : {3, 500}) {
    SCOPED_TRACE(tickets);
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::thread server(ServeTickets, fds[1], tickets);
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    {
      TTlsStream stream(fds[0], "localhost", nullptr, [&](bool writable) { WaitOnFd(fds[0], writable); });
      std::string got;
      char buffer[16];
      while (got.size() < 4) {
        std::size_t n = stream.Receive(buffer, sizeof buffer);
        if (n == 0) break;
        got.append(buffer, n);
      }
      EXPECT_EQ(got, "done");
      std::vector<TTlsSession> kept = stream.TakeNewSessions();
      const int expected = std::min<int>(tickets, kKeptTlsSessions);
      ASSERT_EQ(kept.size(), static_cast<std::size_t>(expected));
      for (int i = 0; i < expected; ++i) {
        EXPECT_EQ(SSL_SESSION_get_ticket_lifetime_hint(kept[i].get()), 1000UL + (tickets - expected + i));
      }
      EXPECT_TRUE(stream.TakeNewSessions().empty());
    }
    server.join();
    ::close(fds[0]);
  }
}

}  // namespace
}  // namespace tovra
