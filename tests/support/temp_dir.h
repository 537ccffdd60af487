// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <string_view>

namespace tovra::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // CP932 path of the folder (ASCII in practice).
  const std::string& Path() const { return path_; }
  // Path of `name` (CP932, may hold separators) inside the folder.
  std::string Sub(std::string_view name) const;
  // Writes bytes to Sub(name), creating the folders on the way.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

// Where the source tree is (for fixtures such as demo/site).
std::string SourceDir();

// Decodes "83 41 61" style hex into bytes, for raw Shift-JIS fixtures.
std::string Hex(std::string_view hex);

}  // namespace tovra::test
