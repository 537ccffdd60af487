// TMMTimer: a periodic timer whose ticks run on the timer's own thread, never
// on the UI thread. The transfer run is started from its tick. Enabled,
// Interval and Resolution may be set from any thread; OnTimer must be set
// before the timer is enabled. Ticks of one timer never overlap. Disabling
// from inside a tick works (the tick finishes, no further tick follows);
// destroying the owner stops and joins the thread.
#pragma once

#include <condition_variable>
#include <functional>
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
  void Run();
  void StopThread(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  bool enabled_ = false;
  bool stopping_ = false;
  unsigned generation_ = 0;  // bumped on every enable, so a restart restarts the wait
  int interval_ = 1000;
  int resolution_ = 10;
};

}  // namespace tovra
