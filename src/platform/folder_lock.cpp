#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <thread>

#include "platform/encoding.h"
#include "util/errors.h"

namespace tovra {

namespace {

constexpr auto kLockWait = std::chrono::seconds(10);
constexpr auto kLockPoll = std::chrono::milliseconds(5);

// The locks this thread holds: folder -> descriptor and depth. flock() on a
// second descriptor of the same folder would wait on the thread's own lock.
struct THeldLock {
  int fd = -1;
  int depth = 0;
};
thread_local std::map<std::string, THeldLock> heldLocks;

int LockFolder(const std::string& folder) {
  std::string os;
  try {
    os = ToOsPath(folder);
  } catch (const EEncodingError&) {
    return -1;
  }
  // The folder itself is locked: no lock file is left in it.
  int fd = ::open(os.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder that cannot be opened holds nothing to protect: the write into
  // it fails with its own error.
  if (fd < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      throw EFileError(folder, folder + " は他の書き込みが終わらないため書き込めません");
    }
    std::this_thread::sleep_for(kLockPoll);
  }
  return fd;
}

}  // namespace

TFolderLock::TFolderLock(const std::string& folder) : folder_(folder) {
  THeldLock& held = heldLocks[folder_];
  if (held.depth == 0) {
    try {
      held.fd = LockFolder(folder_);
    } catch (...) {
      heldLocks.erase(folder_);
      throw;
    }
  }
  ++held.depth;
}

TFolderLock::~TFolderLock() {
  THeldLock& held = heldLocks[folder_];
  if (--held.depth > 0) return;
  if (held.fd >= 0) ::close(held.fd);  // closing the descriptor lets go of the lock
  heldLocks.erase(folder_);
}

}  // namespace tovra
