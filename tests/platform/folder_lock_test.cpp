// The folder lock: one holder at a time across threads (and so processes,
// flock being per open folder), nested takes on one thread, no file left.
#include "platform/folder_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

TEST(FolderLock, OneHolderAtATimeAndNestedTakesOnOneThread) {
  test::TempDir dir;
  std::atomic<bool> otherHolds{false};
  std::thread other;
  {
    TFolderLock outer(dir.Path());
    {
      TFolderLock nested(dir.Path());  // the same thread again: no wait on itself
    }
    other = std::thread([&] {
      TFolderLock lock(dir.Path());
      otherHolds = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(otherHolds) << "the lock was taken while held";
  }
  other.join();
  EXPECT_TRUE(otherHolds);
  EXPECT_TRUE(ListFolder(dir.Path()).empty());
  // A folder that is not there locks nothing; the write into it fails on its own.
  EXPECT_NO_THROW(TFolderLock(dir.Sub("missing")));
}

}  // namespace
}  // namespace tovra
