// TSha256: a SHA-256 digest computed piece by piece, so that a body or a file
// of any size is hashed without being held whole. A plain value; not
// thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tovra {

using TSha256Digest = std::array<std::uint8_t, 32>;

class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(std::string_view bytes);
  // The digest of everything given so far; the hash starts afresh after it.
  TSha256Digest Final();

 private:
  void* context_;
};

// The digest and size of a local file, read in pieces. Throws EFileError
// naming the file when it cannot be read.
TSha256Digest Sha256OfFile(std::string_view path, std::int64_t& size);

}  // namespace tovra
