#include "platform/mm_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace tovra {
namespace {

using namespace std::chrono_literals;

TEST(MMTimer, TicksOnItsOwnThreadAfterTheInterval) {
  TMMTimer timer;
  timer.SetInterval(50);
  std::promise<std::thread::id> ticked;
  auto start = std::chrono::steady_clock::now();
  timer.OnTimer = [&](TMMTimer& sender) {
    sender.SetEnabled(false);  // once per enable, as the upload tick does
    ticked.set_value(std::this_thread::get_id());
  };
  timer.SetEnabled(true);
  auto future = ticked.get_future();
  ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
  EXPECT_NE(future.get(), std::this_thread::get_id());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
  EXPECT_FALSE(timer.Enabled());
}

// Counts ticks and lets a test wait for a given count without sleeping.
class TickCounter {
 public:
  void Tick() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++ticks_;
    changed_.notify_all();
  }
  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ticks_;
  }
  bool WaitFor(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return ticks_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int ticks_ = 0;
};

TEST(MMTimer, DisablingInsideTheTickStopsFurtherTicks) {
  TickCounter ticks;
  TMMTimer timer;
  timer.SetInterval(1);
  timer.OnTimer = [&](TMMTimer& sender) {
    sender.SetEnabled(false);
    ticks.Tick();
  };
  timer.SetEnabled(true);
  ASSERT_TRUE(ticks.WaitFor(1));
  // A second tick would be due every millisecond; enabling again must be the
  // only way to get one.
  EXPECT_FALSE(timer.Enabled());
  timer.SetEnabled(true);
  ASSERT_TRUE(ticks.WaitFor(2));
  EXPECT_EQ(ticks.Count(), 2);
}

TEST(MMTimer, PeriodicUntilDisabledAndRestartable) {
  TickCounter ticks;
  TMMTimer timer;
  timer.SetInterval(1);
  timer.OnTimer = [&](TMMTimer&) { ticks.Tick(); };
  timer.SetEnabled(true);
  ASSERT_TRUE(ticks.WaitFor(3));
  timer.SetEnabled(false);
  int seen = ticks.Count();
  timer.SetInterval(100000);  // a tick now could only come from a missed disable
  timer.SetEnabled(true);
  timer.SetEnabled(false);
  EXPECT_LE(ticks.Count(), seen + 1);  // at most a tick already under way
  timer.SetInterval(1);
  timer.SetEnabled(true);
  EXPECT_TRUE(ticks.WaitFor(seen + 2));
}

// The run's owner may go away from inside the tick (the window closing as
// the run ends): the thread must finish without touching the freed timer.
// AddressSanitizer and ThreadSanitizer builds catch a use after free here.
TEST(MMTimer, DestroyedFromInsideItsOwnTick) {
  for (int round = 0; round < 20; ++round) {
    std::promise<void> destroyed;
    auto* timer = new TMMTimer;
    timer->SetInterval(1);
    timer->OnTimer = [&](TMMTimer& sender) {
      delete &sender;
      destroyed.set_value();
    };
    timer->SetEnabled(true);
    ASSERT_EQ(destroyed.get_future().wait_for(5s), std::future_status::ready);
  }
}

TEST(MMTimer, ClampsPeriods) {
  TMMTimer timer;
  EXPECT_EQ(timer.Interval(), 1000);
  EXPECT_EQ(timer.Resolution(), 10);
  timer.SetInterval(0);
  timer.SetResolution(-5);
  EXPECT_EQ(timer.Interval(), TMMTimer::kMinPeriod);
  EXPECT_EQ(timer.Resolution(), TMMTimer::kMinPeriod);
  timer.SetInterval(1 << 30);
  EXPECT_EQ(timer.Interval(), TMMTimer::kMaxPeriod);
}

TEST(MMTimer, DestroyingAnEnabledTimerJoinsItsThread) {
  std::atomic<int> ticks{0};
  {
    TMMTimer timer;
    timer.SetInterval(100000);
    timer.OnTimer = [&](TMMTimer&) { ++ticks; };
    timer.SetEnabled(true);
  }  // must not hang for the 100 s interval
  EXPECT_EQ(ticks.load(), 0);
}

}  // namespace
}  // namespace tovra
