// TPublishRecord: what Tovra has published of one site, kept in one file in
// the application folder (PublishRecordFileName): per file its path below
// the site root, size, modification time, SHA-256 and the remote name sent.
// The file is rewritten whole and atomically by Save; between saves every
// file the server confirmed is appended as one line, so a publish cut short
// (abort, kill, a lost connection) loses nothing that was confirmed. Lines
// read later win over earlier ones; a last line without its line end (a
// write cut off) is passed over.
//
// The record also remembers temporary names under which a store began and
// did not end: the next publish removes them from the server.
//
// Threads: Load and Save on one thread; Confirm, Forget, StoreBegun and
// StoreEnded may be called from the transfer's session threads at once.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace tovra {

struct TPublishedFile {
  // Below the site root, "/"-separated, no leading "/" (CP932; a name CP932
  // cannot hold is marked, platform/encoding.h).
  std::string path;
  std::int64_t size = 0;
  std::int64_t mtime = 0;  // seconds since the epoch
  std::string sha256;      // 64 lower-case hexadecimal digits
  std::string remoteName;  // the file name sent to the server

  bool operator==(const TPublishedFile&) const = default;
};

class TPublishRecord {
 public:
  // An empty record kept in file (nothing is read yet).
  explicit TPublishRecord(std::string file) : file_(std::move(file)) {}
  // Reads the record as the file holds it; a missing file is an empty
  // record. Throws EFileError when the file exists but cannot be read.
  void Load();

  const std::string& FileName() const { return file_; }
  const std::map<std::string, TPublishedFile>& Files() const { return files_; }
  // Remote paths (below the server's home, beginning with "/") of stores
  // that began and never ended.
  const std::set<std::string>& Leftovers() const { return leftovers_; }

  // Each appends one line to the file before it returns.
  void Confirm(const TPublishedFile& file);
  void Forget(const std::string& path);
  void StoreBegun(const std::string& remotePath);
  void StoreEnded(const std::string& remotePath);

  // Writes the record whole (atomically), which also drops the appended
  // lines; an empty record with no leftovers removes the file.
  void Save();

 private:
  void Apply(const std::vector<std::string>& fields);
  void Append(const std::vector<std::string>& fields);

  std::string file_;
  std::map<std::string, TPublishedFile> files_;
  std::set<std::string> leftovers_;
  std::mutex mutex_;
};

// For readers of a site's record (verification): the files Tovra has
// published of the site, in path order; none when it never published.
std::vector<TPublishedFile> LoadPublishedFiles(const std::string& siteName);

}  // namespace tovra
