#include "platform/read_only_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "util/errors.h"

namespace tovra {

TReadOnlyFile::TReadOnlyFile(std::string_view path) : fd_(OpenRegularFile(path)), path_(path) {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int err = errno;
    ::close(fd_);
    throw EFileError::CannotOpen(path_, std::strerror(err));
  }
  size_ = st.st_size;
}

TReadOnlyFile::~TReadOnlyFile() { ::close(fd_); }

std::size_t TReadOnlyFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw EFileError::CannotOpen(path_, std::strerror(errno));
  }
}

}  // namespace tovra
