// TConnectionWatchdog: bounds and cuts the blocking calls of one SSH
// connection. libssh waits inside its own calls; a thread of the watchdog
// shuts the connection's socket down when the cancel test says so, when
// Cut is called, or when an operation has made no progress for its time
// limit, and the waiting call returns with an error at once. The session
// then asks Reason() which error to raise.
//
// Threads: Watch, Begin/Touch/End and Reason are for the session's thread;
// Cut may be called from any thread. The watchdog's own thread lives as long
// as the object.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tovra {

class TConnectionWatchdog {
 public:
  enum class TReason { None, Cancelled, TimedOut };

  // cancelled: asked every few milliseconds on the watchdog's thread.
  explicit TConnectionWatchdog(std::function<bool()> cancelled);
  ~TConnectionWatchdog();
  TConnectionWatchdog(const TConnectionWatchdog&) = delete;
  TConnectionWatchdog& operator=(const TConnectionWatchdog&) = delete;

  // The socket to shut down (-1: none); clears an earlier reason.
  void Watch(int fd);
  // An operation that must make progress at least every limitMs.
  void Begin(int limitMs);
  void Touch();
  void End();
  // Shuts the socket down now (an abort).
  void Cut();
  TReason Reason() const { return reason_.load(); }

 private:
  void Run();
  void ShutDown(TReason reason);

  std::function<bool()> cancelled_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  int fd_ = -1;
  int limitMs_ = 0;  // 0: no operation under way
  std::chrono::steady_clock::time_point lastProgress_;
  std::atomic<TReason> reason_{TReason::None};
  std::thread thread_;
};

}  // namespace tovra
