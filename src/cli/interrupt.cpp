#include "cli/interrupt.h"

#include <signal.h>

namespace tovra::cli {

namespace {

std::atomic<std::uint8_t>* gCancelFlag = nullptr;
volatile sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
  // A lock-free one-byte store: safe in a signal handler.
  gInterrupted = 1;
  if (gCancelFlag != nullptr) gCancelFlag->store(1, std::memory_order_relaxed);
}

}  // namespace

TInterruptCancels::TInterruptCancels(std::atomic<std::uint8_t>& cancelFlag) {
  gCancelFlag = &cancelFlag;
  gInterrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;  // the second Ctrl-C has the default effect
  ::sigaction(SIGINT, &action, nullptr);
}

TInterruptCancels::~TInterruptCancels() {
  ::signal(SIGINT, SIG_DFL);
  gCancelFlag = nullptr;
}

bool TInterruptCancels::Interrupted() { return gInterrupted != 0; }

}  // namespace tovra::cli
