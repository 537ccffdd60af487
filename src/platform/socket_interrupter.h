// TSocketInterrupter: lets another thread cut the sockets of a transfer at
// once. The thread that owns a socket registers its descriptor while it is
// open and unregisters it before closing it; Trip, from any thread, shuts
// every registered socket down (both directions), which wakes a blocked wait
// or transfer on it with the peer's close or an error. The descriptors stay
// open until their owners close them, so none is reused under the tripping
// thread. Thread-safe.
#pragma once

#include <mutex>
#include <set>

namespace tovra {

class TSocketInterrupter {
 public:
  // A socket registered after Trip is shut down at once.
  void Register(int fd);
  void Unregister(int fd);
  void Trip();
  bool Tripped() const;

 private:
  mutable std::mutex mutex_;
  std::set<int> fds_;
  bool tripped_ = false;
};

}  // namespace tovra
