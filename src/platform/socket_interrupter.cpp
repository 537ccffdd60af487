#include "platform/socket_interrupter.h"

#include <sys/socket.h>

namespace tovra {

void TSocketInterrupter::Register(int fd) {
  if (fd < 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  fds_.insert(fd);
  if (tripped_) ::shutdown(fd, SHUT_RDWR);
}

void TSocketInterrupter::Unregister(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  fds_.erase(fd);
}

void TSocketInterrupter::Trip() {
  std::lock_guard<std::mutex> lock(mutex_);
  tripped_ = true;
  // The result is not looked at: a socket not yet connected or already
  // closed by the peer has nothing more to shut.
  for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
}

bool TSocketInterrupter::Tripped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tripped_;
}

}  // namespace tovra
