// Ctrl-C as the abort button: while a TInterruptCancels lives, the first
// Ctrl-C sets the session's cancel flag; a second one ends the program.
#pragma once

#include <atomic>
#include <cstdint>

namespace tovra::cli {

// The exit status of a command ended by Ctrl-C.
inline constexpr int kExitInterrupted = 130;

class TInterruptCancels {
 public:
  explicit TInterruptCancels(std::atomic<std::uint8_t>& cancelFlag);
  ~TInterruptCancels();
  TInterruptCancels(const TInterruptCancels&) = delete;
  TInterruptCancels& operator=(const TInterruptCancels&) = delete;
  // Whether Ctrl-C was pressed while this lived.
  static bool Interrupted();
};

}  // namespace tovra::cli
