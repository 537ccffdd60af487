#include "platform/mm_timer.h"

#include <algorithm>
#include <chrono>

namespace tovra {

namespace {
int Clamp(int ms) { return std::clamp(ms, TMMTimer::kMinPeriod, TMMTimer::kMaxPeriod); }
}  // namespace

TMMTimer::~TMMTimer() {
  std::unique_lock<std::mutex> lock(mutex_);
  StopThread(lock);
}

bool TMMTimer::Enabled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return enabled_;
}

int TMMTimer::Interval() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return interval_;
}

int TMMTimer::Resolution() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resolution_;
}

void TMMTimer::SetInterval(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  interval_ = Clamp(ms);
  changed_.notify_all();
}

void TMMTimer::SetResolution(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  resolution_ = Clamp(ms);
}

void TMMTimer::SetEnabled(bool enabled) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (enabled == enabled_) return;
  enabled_ = enabled;
  ++generation_;
  if (enabled && !thread_.joinable()) {
    stopping_ = false;
    thread_ = std::thread(&TMMTimer::Run, this);
  }
  changed_.notify_all();
}

void TMMTimer::StopThread(std::unique_lock<std::mutex>& lock) {
  stopping_ = true;
  enabled_ = false;
  changed_.notify_all();
  if (!thread_.joinable()) return;
  std::thread thread = std::move(thread_);
  lock.unlock();
  // Destroyed from inside its own tick: the thread cannot join itself.
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
  } else {
    thread.join();
  }
  lock.lock();
}

void TMMTimer::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
  unsigned seen = generation_;
  while (!stopping_) {
    if (!enabled_) {
      changed_.wait(lock, [&] { return stopping_ || enabled_; });
      due = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
      seen = generation_;
      continue;
    }
    if (seen != generation_) {  // disabled and enabled again: wait a full interval
      seen = generation_;
      due = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_);
    }
    if (changed_.wait_until(lock, due, [&] { return stopping_ || !enabled_ || seen != generation_; })) continue;
    due += std::chrono::milliseconds(interval_);
    auto handler = OnTimer;
    lock.unlock();
    if (handler) handler(*this);
    lock.lock();
    if (due < std::chrono::steady_clock::now()) due = std::chrono::steady_clock::now();
  }
}

}  // namespace tovra
