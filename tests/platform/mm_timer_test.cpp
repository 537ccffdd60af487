#include "platform/mm_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
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

TEST(MMTimer, DisablingInsideTheTickStopsFurtherTicks) {
  std::atomic<int> ticks{0};
  {
    TMMTimer timer;
    timer.SetInterval(5);
    timer.OnTimer = [&](TMMTimer& sender) {
      ++ticks;
      sender.SetEnabled(false);
    };
    timer.SetEnabled(true);
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_EQ(ticks.load(), 1);
}

TEST(MMTimer, PeriodicUntilDisabledAndRestartable) {
  std::atomic<int> ticks{0};
  TMMTimer timer;
  timer.SetInterval(10);
  timer.OnTimer = [&](TMMTimer&) { ++ticks; };
  timer.SetEnabled(true);
  std::this_thread::sleep_for(150ms);
  timer.SetEnabled(false);
  int seen = ticks.load();
  EXPECT_GE(seen, 3);
  std::this_thread::sleep_for(60ms);
  EXPECT_LE(ticks.load(), seen + 1);  // at most a tick already under way
  timer.SetEnabled(true);
  std::this_thread::sleep_for(60ms);
  EXPECT_GT(ticks.load(), seen);
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
