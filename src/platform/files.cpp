#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>

#include "platform/encoding.h"
#include "platform/local_time.h"
#include "platform/read_only_file.h"
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

// Temporary files of WriteFileAtomic are named file + this + digits.
constexpr std::string_view kTemporaryInfix = ".tmp";
// A temporary file older than this was left by a write that never finished
// (a killed process); a younger one may belong to a write still running.
constexpr std::time_t kStaleTemporarySeconds = 60;

// Follows symbolic links from `os` to the path that a write should replace
// (which need not exist yet: a dangling link is written through too). False
// for a link that cannot be read or a chain of links that never ends.
bool WriteTarget(std::string& os) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat lst;
    if (::lstat(os.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) return true;
    std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
    ssize_t n = ::readlink(os.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return false;
    target.resize(static_cast<std::size_t>(n));
    if (target[0] != '/') {
      const std::size_t slash = os.rfind('/');
      target = (slash == std::string::npos ? std::string() : os.substr(0, slash + 1)) + target;
    }
    os = target;
  }
  return false;
}

// Whether the file's own permissions let this process write it. A file
// without any write bit counts as read-only even for the superuser, who
// could otherwise replace it against its owner's plain intent.
bool MayWriteFile(const std::string& os, const struct stat& st) {
  return (st.st_mode & 0222) != 0 && ::faccessat(AT_FDCWD, os.c_str(), W_OK, AT_EACCESS) == 0;
}

// Whether `name` is `base` + kTemporaryInfix + one or more digits.
bool IsTemporaryOf(std::string_view name, std::string_view base) {
  if (!name.starts_with(base)) return false;
  name.remove_prefix(base.size());
  if (!name.starts_with(kTemporaryInfix)) return false;
  name.remove_prefix(kTemporaryInfix.size());
  if (name.empty()) return false;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Removes the temporary files of earlier writes of `os` that were never
// finished, some of them copies of profiles with passwords. Best effort:
// what cannot be removed stays.
void RemoveStaleTemporaries(const std::string& os) {
  const std::size_t slash = os.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : os.substr(0, slash));
  const std::string base = slash == std::string::npos ? os : os.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  const std::time_t now = std::time(nullptr);
  while (struct dirent* e = ::readdir(dir)) {
    if (!IsTemporaryOf(e->d_name, base)) continue;
    struct stat st;
    if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (now - st.st_mtime >= kStaleTemporarySeconds) ::unlinkat(dirFd, e->d_name, 0);
  }
  ::closedir(dir);
}

// Calls visit(dirFd, entry, cp932Name) for every entry of the folder but
// "." and "..", in the order the file system gives them, passing over names
// that cannot be represented in CP932 (or marking them). Throws EFileError
// when the folder cannot be opened.
template <typename Visit>
void WalkFolder(std::string_view path, Visit visit, TUnheldNames unheld = TUnheldNames::PassedOver) {
  const std::string os = ToOsPath(path);
  DIR* dir = ::opendir(os.c_str());
  if (dir == nullptr) throw EFileError::CannotOpen(std::string(path), Reason(errno));
  std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
  const int dirFd = ::dirfd(dir);
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    std::string name;
    if (!(unheld == TUnheldNames::Marked ? TryFromOsPathMarked(e->d_name, name) : TryFromOsPath(e->d_name, name))) {
      continue;
    }
    visit(dirFd, *e, std::move(name));
  }
}

bool IsLinkAt(int dirFd, const char* name) {
  struct stat lst;
  return ::fstatat(dirFd, name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
}

}  // namespace

bool FileExists(std::string_view path) {
  struct stat st;
  return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

std::string RealPath(std::string_view path) {
  std::string os;
  try {
    os = ToOsPath(path);
  } catch (const EEncodingError&) {
    return {};  // a name no file can have
  }
  char* real = ::realpath(os.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out;
  const bool named = TryFromOsPath(real, out);
  std::free(real);
  return named ? out : std::string();
}

bool DirectoryExists(std::string_view path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool PathExists(std::string_view path) {
  struct stat st;
  return StatPath(path, st);
}

int OpenRegularFile(std::string_view path) {
  std::string p(path);
  std::string os = ToOsPath(path);
  // O_NONBLOCK keeps open() from waiting for a FIFO's writer; the kind is
  // then checked on the open descriptor itself, so nothing can swap it.
  int fd = ::open(os.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw EFileError::CannotOpen(p, Reason(errno));
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throw EFileError::CannotOpen(p, Reason(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EFileError::CannotOpen(p, S_ISDIR(st.st_mode) ? Reason(EISDIR) : std::string("Not a regular file"));
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

std::string ReadFileBytes(std::string_view path) {
  TReadOnlyFile file(path);
  std::string bytes;
  if (file.Size() > 0) bytes.reserve(static_cast<std::size_t>(file.Size()));
  char buffer[65536];
  while (const std::size_t n = file.Read(buffer, sizeof buffer)) bytes.append(buffer, n);
  return bytes;
}

void WriteFileAtomic(std::string_view path, std::string_view bytes, unsigned mode, TReplacedMode replaced) {
  std::string p(path);
  std::string os;
  try {
    os = ToOsPath(path);
  } catch (const EEncodingError&) {
    throw EFileError::CannotWrite(p);
  }
  // A symbolic link is written through: the file it names gets the bytes and
  // the link stays a link.
  if (!WriteTarget(os)) throw EFileError::CannotWrite(p);
  struct stat st;
  bool exists = ::stat(os.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) throw EFileError::CannotWrite(p);
  // The rename below would replace a file that its own permissions protect.
  if (exists && !MayWriteFile(os, st)) throw EFileError::CannotWrite(p);
  RemoveStaleTemporaries(os);
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::string temp = os + std::string(kTemporaryInfix) + std::to_string(rng() % 1000000000ULL);
  // A new file gets `mode` less the umask from open() itself; a replaced
  // file keeps its own mode (and, where allowed, its owner).
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : static_cast<mode_t>(mode));
  if (fd < 0) throw EFileError::CannotWrite(p);
  try {
    WriteAll(fd, bytes, p);
    if (exists) {
      const mode_t keep = replaced == TReplacedMode::Narrowed ? static_cast<mode_t>(mode) : 07777;
      if (::fchmod(fd, st.st_mode & keep) != 0) throw EFileError::CannotWrite(p);
      (void)!::fchown(fd, st.st_uid, st.st_gid);
    }
    if (::fsync(fd) != 0) throw EFileError::CannotWrite(p);
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

void AppendFileBytes(std::string_view path, std::string_view bytes, unsigned mode) {
  const std::string os = ToOsPath(path);
  int fd = ::open(os.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode);
  if (fd < 0) throw EFileError::CannotWrite(std::string(path));
  try {
    WriteAll(fd, bytes, std::string(path));
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) throw EFileError::CannotWrite(std::string(path));
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

std::vector<DirEntry> ListFolder(std::string_view path, TUnheldNames unheld) {
  std::vector<DirEntry> entries;
  WalkFolder(
      path,
      [&](int dirFd, const dirent& e, std::string name) {
        DirEntry entry;
        entry.name = std::move(name);
        // One statx relative to the open folder gives all three times, the
        // creation time included where the file system keeps one.
        struct statx sx;
        if (::statx(dirFd, e.d_name, 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return;
        entry.isDirectory = S_ISDIR(sx.stx_mode);
        if (e.d_type == DT_LNK) {
          entry.isLink = true;
        } else if (e.d_type == DT_UNKNOWN) {
          entry.isLink = IsLinkAt(dirFd, e.d_name);
        }
        entry.times.lastWrite = sx.stx_mtime.tv_sec;
        entry.times.lastAccess = sx.stx_atime.tv_sec;
        entry.times.creation = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
        entry.times.size = static_cast<std::int64_t>(sx.stx_size);
        entry.times.isDirectory = entry.isDirectory;
        entries.push_back(std::move(entry));
      },
      unheld);
  return entries;
}

std::vector<DirName> ListFolderNames(std::string_view path) {
  std::vector<DirName> entries;
  WalkFolder(path, [&](int dirFd, const dirent& e, std::string name) {
    DirName entry;
    entry.name = std::move(name);
    if (e.d_type == DT_DIR || e.d_type == DT_REG) {
      entry.isDirectory = e.d_type == DT_DIR;
    } else {
      struct stat st;
      if (::fstatat(dirFd, e.d_name, &st, 0) != 0) return;
      entry.isDirectory = S_ISDIR(st.st_mode);
      entry.isLink = IsLinkAt(dirFd, e.d_name);
    }
    entries.push_back(std::move(entry));
  });
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
