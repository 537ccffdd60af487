#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/encoding.h"
#include "platform/local_time.h"
#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {

namespace {

std::string Reason(int err) {
  // strerror text is ASCII in the C locale the program runs its messages in.
  return std::strerror(err);
}

bool StatPath(std::string_view path, struct stat& st) {
  std::string os;
  try {
    os = ToOsPath(path);
  } catch (const EEncodingError&) {
    return false;
  }
  return !os.empty() && ::stat(os.c_str(), &st) == 0;
}

// Last separator byte position, stepping characters so a trail byte never counts.
std::size_t LastSep(std::string_view path) {
  std::size_t last = std::string_view::npos;
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t n = CharBytesAt(path, i);
    if (n == 1 && path[i] == kPathSep) last = i;
    i += n;
  }
  return last;
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EFileError::CannotWrite(path);
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

bool FileExists(std::string_view path) {
  struct stat st;
  return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool PathExists(std::string_view path) {
  struct stat st;
  return StatPath(path, st);
}

std::string ReadFileBytes(std::string_view path) {
  std::string p(path);
  std::string os = ToOsPath(path);
  int fd = ::open(os.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFileError::CannotOpen(p, Reason(errno));
  std::string bytes;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      throw EFileError::CannotOpen(p, Reason(err));
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

void WriteFileAtomic(std::string_view path, std::string_view bytes, unsigned mode) {
  std::string p(path);
  std::string os;
  try {
    os = ToOsPath(path);
  } catch (const EEncodingError&) {
    throw EFileError::CannotWrite(p);
  }
  struct stat st;
  bool exists = ::stat(os.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) throw EFileError::CannotWrite(p);
  mode_t finalMode = exists ? (st.st_mode & 07777) : static_cast<mode_t>(mode);
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::string temp = os + ".tmp" + std::to_string(rng() % 1000000000ULL);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) throw EFileError::CannotWrite(p);
  try {
    WriteAll(fd, bytes, p);
    if (::fchmod(fd, finalMode) != 0 || ::fsync(fd) != 0) throw EFileError::CannotWrite(p);
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), os.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw EFileError::CannotWrite(p);
  }
}

bool DeleteFile(std::string_view path) {
  std::string os = ToOsPath(path);
  if (::unlink(os.c_str()) == 0) return true;
  if (errno == ENOENT) return false;
  throw EFileError::CannotWrite(std::string(path));
}

void RenameFile(std::string_view from, std::string_view to) {
  if (::rename(ToOsPath(from).c_str(), ToOsPath(to).c_str()) != 0) throw EFileError::CannotWrite(std::string(to));
}

void CopyFileBytes(std::string_view from, std::string_view to) { WriteFileAtomic(to, ReadFileBytes(from)); }

void CreateDirectory(std::string_view path) {
  std::string os = ToOsPath(path);
  if (::mkdir(os.c_str(), 0755) == 0) return;
  if (errno == EEXIST && DirectoryExists(path)) return;
  throw EFileError::CannotWrite(std::string(path));
}

bool GetFileTimes(std::string_view path, FileTimes& times) {
  std::string os;
  try {
    os = ToOsPath(path);
  } catch (const EEncodingError&) {
    return false;
  }
  struct statx sx;
  if (os.empty() || ::statx(AT_FDCWD, os.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  times.lastWrite = sx.stx_mtime.tv_sec;
  times.lastAccess = sx.stx_atime.tv_sec;
  // The creation time where the file system keeps one, otherwise the status-change time.
  times.creation = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
  times.size = static_cast<std::int64_t>(sx.stx_size);
  times.isDirectory = S_ISDIR(sx.stx_mode);
  return true;
}

std::uint32_t ToDosDateTime(std::time_t t) {
  std::tm local = LocalTime(t);
  int year = local.tm_year + 1900 - 1980;
  if (year < 0) year = 0;
  std::uint32_t date = static_cast<std::uint32_t>((year << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  std::uint32_t time = static_cast<std::uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return (date << 16) | time;
}

std::vector<DirEntry> ListFolder(std::string_view path) {
  std::string os = ToOsPath(path);
  DIR* dir = ::opendir(os.c_str());
  if (dir == nullptr) throw EFileError::CannotOpen(std::string(path), Reason(errno));
  const int dirFd = ::dirfd(dir);
  std::vector<DirEntry> entries;
  while (struct dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirEntry entry;
    if (!TryFromOsPath(e->d_name, entry.name)) continue;
    // One statx relative to the open folder gives all three times, the
    // creation time included where the file system keeps one.
    struct statx sx;
    if (::statx(dirFd, e->d_name, 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) continue;
    entry.isDirectory = S_ISDIR(sx.stx_mode);
    if (e->d_type == DT_LNK) {
      entry.isLink = true;
    } else if (e->d_type == DT_UNKNOWN) {
      struct stat lst;
      entry.isLink = ::fstatat(dirFd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
    }
    entry.times.lastWrite = sx.stx_mtime.tv_sec;
    entry.times.lastAccess = sx.stx_atime.tv_sec;
    entry.times.creation = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
    entry.times.size = static_cast<std::int64_t>(sx.stx_size);
    entry.times.isDirectory = entry.isDirectory;
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return entries;
}

std::vector<DirName> ListFolderNames(std::string_view path) {
  std::string os = ToOsPath(path);
  DIR* dir = ::opendir(os.c_str());
  if (dir == nullptr) throw EFileError::CannotOpen(std::string(path), Reason(errno));
  const int dirFd = ::dirfd(dir);
  std::vector<DirName> entries;
  while (struct dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirName entry;
    if (!TryFromOsPath(e->d_name, entry.name)) continue;
    if (e->d_type == DT_DIR || e->d_type == DT_REG) {
      entry.isDirectory = e->d_type == DT_DIR;
    } else {
      struct stat st;
      if (::fstatat(dirFd, e->d_name, &st, 0) != 0) continue;
      entry.isDirectory = S_ISDIR(st.st_mode);
      struct stat lst;
      entry.isLink = ::fstatat(dirFd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return entries;
}

std::string ExtractFileName(std::string_view path) {
  std::size_t sep = LastSep(path);
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string ExtractFileDir(std::string_view path) {
  std::size_t sep = LastSep(path);
  if (sep == std::string_view::npos) return {};
  if (sep == 0) return std::string(kPathSepStr);
  return std::string(path.substr(0, sep));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != kPathSep) out += kPathSep;
  out += name;
  return out;
}

}  // namespace tovra
