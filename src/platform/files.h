// Files and folders by CP932 path. The only code that calls the file system;
// every path is converted to the OS encoding here and nowhere else.
// Errors are EFileError naming the path. Thread-safe (no shared state).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {

// The path separator of this platform ('\' on Windows).
inline constexpr char kPathSep = '/';
inline constexpr std::string_view kPathSepStr = "/";

// Whether the file system tells names apart by letter case alone ("a.gif"
// and "A.gif" two files). True here; false where the system ignores case.
inline constexpr bool kFileNamesCaseSensitive = true;

bool FileExists(std::string_view path);       // a regular file (or anything but a folder)
bool DirectoryExists(std::string_view path);  // a folder
bool PathExists(std::string_view path);

// The path with every symbolic link, "." and ".." resolved; empty when it
// does not exist or cannot be named in CP932.
std::string RealPath(std::string_view path);

// Opens a regular file for reading and returns its descriptor (the caller
// closes it). Anything else (a folder, a FIFO, a device, a socket) is refused
// with EFileError naming the path, without waiting: a FIFO with no writer
// would otherwise hold open() for ever.
int OpenRegularFile(std::string_view path);

// Whole-file reads and writes. WriteFileAtomic writes a temporary file in the
// same folder and renames it over `path`, so a failure never leaves a
// half-written file. A newly created file gets `mode` less the process's
// umask; a replaced file keeps its mode (and its owner where the system
// allows). A symbolic link is written through to the file it names. A file
// that its permissions keep from being written (no write bit, or none for
// this process) is refused, as is anything but a regular file. Temporary
// files of earlier writes of the same file that were never finished (older
// than a minute) are removed first. Errors: EFileError "%s に書き込めません".
// ReadFileBytes reads regular files only (OpenRegularFile).
// With TReplacedMode::Narrowed a replaced file keeps only those of its mode
// bits that `mode` has too (a profile that once was 0644 becomes 0600).
enum class TReplacedMode { Kept, Narrowed };
std::string ReadFileBytes(std::string_view path);
void WriteFileAtomic(std::string_view path, std::string_view bytes, unsigned mode = 0644,
                     TReplacedMode replaced = TReplacedMode::Kept);

// Appends the bytes to the end of the file in one write, creating it with
// `mode` when missing: a journal line lands whole or, when the process is
// killed mid-write, as a last line without its line end.
void AppendFileBytes(std::string_view path, std::string_view bytes, unsigned mode = 0600);

// DeleteFile of a missing file is no error (returns false).
bool DeleteFile(std::string_view path);
void RenameFile(std::string_view from, std::string_view to);
void CopyFileBytes(std::string_view from, std::string_view to);  // exact bytes, atomic
void CreateDirectory(std::string_view path);                     // one level; existing is fine

struct FileTimes {
  std::time_t lastWrite = 0;
  // Creation time where the file system reports one, otherwise the
  // status-change time.
  std::time_t creation = 0;
  std::time_t lastAccess = 0;
  std::int64_t size = 0;
  bool isDirectory = false;
};
// False when the path does not exist.
bool GetFileTimes(std::string_view path, FileTimes& times);
// The packed DOS date and time (date << 16 | time) of a time in local time.
std::uint32_t ToDosDateTime(std::time_t t);

struct DirEntry {
  std::string name;  // CP932
  bool isDirectory = false;
  bool isLink = false;  // a symbolic link (isDirectory and times describe its target)
  FileTimes times;
};
// The entries of a folder ("." and ".." left out), in the order the file
// system gives them. Names that cannot be represented in CP932 are passed
// over, or with TUnheldNames::Marked given as marked names (encoding.h) where
// the disk's names are UTF-8; the path may hold marked names either way.
// Throws EFileError when the folder cannot be opened.
enum class TUnheldNames { PassedOver, Marked };
std::vector<DirEntry> ListFolder(std::string_view path, TUnheldNames unheld = TUnheldNames::PassedOver);

// A lighter listing for walks that need the times of only some entries: the
// names and kinds as the folder itself records them (a stat only for links
// and where the file system does not record the kind). Read the times of the
// entries wanted with GetFileTimes. Same errors and order as ListFolder.
struct DirName {
  std::string name;  // CP932
  bool isDirectory = false;
  bool isLink = false;  // a symbolic link; isDirectory describes its target
};
std::vector<DirName> ListFolderNames(std::string_view path);

// Path helpers on CP932 text (character-wise, so a 0x5C trail byte is never a
// separator on platforms that use '\').
std::string ExtractFileName(std::string_view path);  // after the last separator
std::string ExtractFileDir(std::string_view path);   // before the last separator
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace tovra
