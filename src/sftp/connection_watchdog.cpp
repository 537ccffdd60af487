#include "sftp/connection_watchdog.h"

#include <sys/socket.h>

namespace tovra {

namespace {
// How often the cancel flag is looked at: an abort acts within this.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
}  // namespace

TConnectionWatchdog::TConnectionWatchdog(std::function<bool()> cancelled)
    : cancelled_(std::move(cancelled)), thread_([this] { Run(); }) {}

TConnectionWatchdog::~TConnectionWatchdog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TConnectionWatchdog::Watch(int fd) {
  std::lock_guard lock(mutex_);
  fd_ = fd;
  limitMs_ = 0;
  reason_ = TReason::None;
}

void TConnectionWatchdog::Begin(int limitMs) {
  std::lock_guard lock(mutex_);
  limitMs_ = limitMs;
  lastProgress_ = std::chrono::steady_clock::now();
}

void TConnectionWatchdog::Touch() {
  std::lock_guard lock(mutex_);
  lastProgress_ = std::chrono::steady_clock::now();
}

void TConnectionWatchdog::End() {
  std::lock_guard lock(mutex_);
  limitMs_ = 0;
}

void TConnectionWatchdog::Cut() {
  std::lock_guard lock(mutex_);
  ShutDown(TReason::Cancelled);
}

// Under mutex_. shutdown, not close: the descriptor stays valid for libssh,
// which sees the connection end and returns from any wait.
void TConnectionWatchdog::ShutDown(TReason reason) {
  if (reason_.load() == TReason::None) reason_ = reason;
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void TConnectionWatchdog::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    wake_.wait_for(lock, kPollInterval);
    if (stop_ || fd_ < 0) continue;
    if (cancelled_()) {
      ShutDown(TReason::Cancelled);
    } else if (limitMs_ > 0 && std::chrono::steady_clock::now() - lastProgress_ > std::chrono::milliseconds(limitMs_)) {
      ShutDown(TReason::TimedOut);
    }
  }
}

}  // namespace tovra
