// TMMTimer: a periodic timer whose ticks run on the timer's own thread, never
// on the UI thread. The transfer run is started from its tick. Enabled,
// Interval and Resolution may be set from any thread; OnTimer must be set
// before the timer is enabled. Ticks of one timer never overlap. Disabling
// from inside a tick works (the tick finishes, no further tick follows);
// destroying the owner stops and joins the thread. Destroying it from inside
// its own tick is safe too: the thread then ends by itself after the tick,
// touching only the state it shares with the timer, never the timer.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tovra {

class TMMTimer {
 public:
  // The platform's timer period range, in milliseconds.
  static constexpr int kMinPeriod = 1;
  static constexpr int kMaxPeriod = 1000000;

  TMMTimer() = default;
  ~TMMTimer();
  TMMTimer(const TMMTimer&) = delete;
  TMMTimer& operator=(const TMMTimer&) = delete;

  std::function<void(TMMTimer& sender)> OnTimer;

  bool Enabled() const;
  void SetEnabled(bool enabled);
  int Interval() const;
  void SetInterval(int ms);  // clamped to [kMinPeriod, kMaxPeriod]
  int Resolution() const;
  void SetResolution(int ms);  // clamped likewise

 private:
  // What the timer thread reads: owned jointly by the timer and its thread,
  // so a thread left running after the timer's end still has it.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool enabled = false;
    bool stopping = false;
    unsigned generation = 0;  // bumped on every enable, so a restart restarts the wait
    int interval = 1000;
    int resolution = 10;
  };

  static void Run(std::shared_ptr<State> state, TMMTimer* timer);
  void StopThread();

  std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread thread_;  // touched on the owner's side only, under state_->mutex
};

}  // namespace tovra
