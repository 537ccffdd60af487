#include "platform/mm_timer.h"

#include <algorithm>
#include <chrono>

namespace tovra {

namespace {
int Clamp(int ms) { return std::clamp(ms, TMMTimer::kMinPeriod, TMMTimer::kMaxPeriod); }
}  // namespace

TMMTimer::~TMMTimer() { StopThread(); }

bool TMMTimer::Enabled() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->enabled;
}

int TMMTimer::Interval() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->interval;
}

int TMMTimer::Resolution() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->resolution;
}

void TMMTimer::SetInterval(int ms) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->interval = Clamp(ms);
  state_->changed.notify_all();
}

void TMMTimer::SetResolution(int ms) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->resolution = Clamp(ms);
}

void TMMTimer::SetEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (enabled == state_->enabled) return;
  state_->enabled = enabled;
  ++state_->generation;
  if (enabled && !thread_.joinable()) {
    state_->stopping = false;
    thread_ = std::thread(&TMMTimer::Run, state_, this);
  }
  state_->changed.notify_all();
}

void TMMTimer::StopThread() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
    state_->enabled = false;
    state_->changed.notify_all();
    thread = std::move(thread_);
  }
  if (!thread.joinable()) return;
  // Destroyed from inside its own tick: the thread cannot join itself. It
  // sees `stopping` when the tick returns and ends, holding its own share of
  // the state.
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
  } else {
    thread.join();
  }
}

// The thread's loop. `timer` is used only to read OnTimer and to pass to the
// tick, and only while `stopping` is false under the lock: the timer's
// destructor sets it first, and joins unless it runs inside this very tick.
void TMMTimer::Run(std::shared_ptr<State> state, TMMTimer* timer) {
  std::unique_lock<std::mutex> lock(state->mutex);
  auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(state->interval);
  unsigned seen = state->generation;
  while (!state->stopping) {
    if (!state->enabled) {
      state->changed.wait(lock, [&] { return state->stopping || state->enabled; });
      due = std::chrono::steady_clock::now() + std::chrono::milliseconds(state->interval);
      seen = state->generation;
      continue;
    }
    if (seen != state->generation) {  // disabled and enabled again: wait a full interval
      seen = state->generation;
      due = std::chrono::steady_clock::now() + std::chrono::milliseconds(state->interval);
    }
    if (state->changed.wait_until(lock, due,
                                  [&] { return state->stopping || !state->enabled || seen != state->generation; })) {
      continue;
    }
    due += std::chrono::milliseconds(state->interval);
    auto handler = timer->OnTimer;
    lock.unlock();
    if (handler) handler(*timer);
    lock.lock();
    if (due < std::chrono::steady_clock::now()) due = std::chrono::steady_clock::now();
  }
}

}  // namespace tovra
