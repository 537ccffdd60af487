// The watchdog cuts a connection's socket on cancel, on Cut and after a
// silence longer than the operation's limit, and at no other time.
#include "sftp/connection_watchdog.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace tovra {
namespace {

using Clock = std::chrono::steady_clock;

class WatchdogTest : public ::testing::Test {
 protected:
  WatchdogTest() { ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds); }
  ~WatchdogTest() override {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  // Whether a read on our end ends (the socket shut down) within ms.
  bool CutWithin(int ms) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return false;
    char c;
    return ::recv(fds[0], &c, 1, MSG_DONTWAIT) == 0;
  }

  int fds[2] = {-1, -1};
  std::atomic<bool> cancel{false};
  TConnectionWatchdog watchdog{[this] { return cancel.load(); }};
};

TEST_F(WatchdogTest, CancelCutsTheSocketAtOnce) {
  watchdog.Watch(fds[0]);
  EXPECT_FALSE(CutWithin(100));
  auto start = Clock::now();
  cancel = true;
  EXPECT_TRUE(CutWithin(1000));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(watchdog.Reason(), TConnectionWatchdog::TReason::Cancelled);
}

TEST_F(WatchdogTest, CutFromAnotherThread) {
  watchdog.Watch(fds[0]);
  std::thread([this] { watchdog.Cut(); }).join();
  EXPECT_TRUE(CutWithin(100));
  EXPECT_EQ(watchdog.Reason(), TConnectionWatchdog::TReason::Cancelled);
}

TEST_F(WatchdogTest, SilenceLongerThanTheLimitTimesOut) {
  watchdog.Watch(fds[0]);
  watchdog.Begin(150);
  EXPECT_TRUE(CutWithin(2000));
  EXPECT_EQ(watchdog.Reason(), TConnectionWatchdog::TReason::TimedOut);
}

TEST_F(WatchdogTest, ProgressKeepsAnOperationAliveAndNoOperationHasNoLimit) {
  watchdog.Watch(fds[0]);
  watchdog.Begin(200);
  for (int i = 0; i < 8; ++i) {
    EXPECT_FALSE(CutWithin(50));
    watchdog.Touch();
  }
  watchdog.End();
  EXPECT_FALSE(CutWithin(400));
  EXPECT_EQ(watchdog.Reason(), TConnectionWatchdog::TReason::None);
}

}  // namespace
}  // namespace tovra
