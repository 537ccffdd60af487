#include "platform/file_digest.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/files.h"
#include "util/errors.h"

namespace tovra {

namespace {

constexpr std::size_t kBlock = 1 << 16;

struct DigestContext {
  DigestContext() : ctx(EVP_MD_CTX_new()) {}
  ~DigestContext() { EVP_MD_CTX_free(ctx); }
  EVP_MD_CTX* ctx;
};

}  // namespace

std::string FileSha256(std::string_view path) {
  int fd = OpenRegularFile(path);
  DigestContext digest;
  bool ok = digest.ctx != nullptr && EVP_DigestInit_ex(digest.ctx, EVP_sha256(), nullptr) == 1;
  auto buffer = std::make_unique<char[]>(kBlock);
  while (ok) {
    ssize_t n = ::read(fd, buffer.get(), kBlock);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = EVP_DigestUpdate(digest.ctx, buffer.get(), static_cast<std::size_t>(n)) == 1;
  }
  ::close(fd);
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!ok || EVP_DigestFinal_ex(digest.ctx, md, &length) != 1)
    throw EFileError::CannotOpen(std::string(path), std::strerror(errno != 0 ? errno : EIO));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[md[i] >> 4];
    hex += kHex[md[i] & 15];
  }
  return hex;
}

}  // namespace tovra
