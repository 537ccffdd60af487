// TFolderLock: an exclusive lock on a folder, held by one writer at a time
// across processes (and threads), so that a writer can re-read a file of the
// folder, merge its own change and replace the file without losing another
// writer's. Writers of the site list and the profiles take it on the
// application folder. A thread that already holds the lock on a folder may
// take it again (nested); each lock is used by the thread that made it.
#pragma once

#include <string>

namespace tovra {

class TFolderLock {
 public:
  // Waits up to ten seconds for the lock; then throws EFileError naming the
  // folder (a writer that never lets go must not hang the program). A folder
  // that cannot be opened is not locked: a write into it fails on its own.
  explicit TFolderLock(const std::string& folder);
  ~TFolderLock();
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;

 private:
  std::string folder_;
};

}  // namespace tovra
