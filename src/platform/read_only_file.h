// TReadOnlyFile: a local regular file opened for reading, read block by
// block and closed on every path. A folder, FIFO, device or socket is refused
// at once (never waited on); other readers and writers are never locked out.
// Errors are EFileError naming the path. One object is used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tovra {

class TReadOnlyFile {
 public:
  explicit TReadOnlyFile(std::string_view path);
  ~TReadOnlyFile();
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

  // The size when the file was opened.
  std::int64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }
  // Reads up to size bytes into buffer; 0 at the end of the file.
  std::size_t Read(char* buffer, std::size_t size);

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::string path_;
};

}  // namespace tovra
