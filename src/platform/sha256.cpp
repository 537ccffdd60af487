#include "platform/sha256.h"

#include <openssl/evp.h>

#include <new>
#include <string>
#include <vector>

#include "platform/read_only_file.h"

namespace tovra {

namespace {

EVP_MD_CTX* Context(void* p) { return static_cast<EVP_MD_CTX*>(p); }

}  // namespace

TSha256::TSha256() : context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr || EVP_DigestInit_ex(Context(context_), EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
}

TSha256::~TSha256() { EVP_MD_CTX_free(Context(context_)); }

void TSha256::Update(std::string_view bytes) { EVP_DigestUpdate(Context(context_), bytes.data(), bytes.size()); }

TSha256Digest TSha256::Final() {
  TSha256Digest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(Context(context_), digest.data(), &length);
  EVP_DigestInit_ex(Context(context_), EVP_sha256(), nullptr);
  return digest;
}

TSha256Digest Sha256OfFile(std::string_view path, std::int64_t& size) {
  TReadOnlyFile file(path);
  TSha256 hash;
  std::vector<char> buffer(1 << 16);
  size = 0;
  while (const std::size_t n = file.Read(buffer.data(), buffer.size())) {
    hash.Update(std::string_view(buffer.data(), n));
    size += static_cast<std::int64_t>(n);
  }
  return hash.Final();
}

}  // namespace tovra
