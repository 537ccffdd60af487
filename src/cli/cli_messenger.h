// The terminal side of the core's messenger: messages go to stderr, and
// questions are answered by a command-line flag (--yes / --no) or, without
// one, typed at the terminal. Used by every tovra-cli command that runs core
// operations; single-threaded like the rest of the CLI.
#pragma once

#include <cstdio>
#include <string>

#include "cli/cli_common.h"
#include "util/messenger.h"

namespace tovra::cli {

enum class TCliAnswer {
  Ask,  // read the answer from the terminal; end of input counts as no
  Yes,
  No,
};

// Takes --yes or --no out of args (both given is a usage error).
TCliAnswer TakeAnswerFlags(Args& args);

class TCliMessenger : public IMessenger {
 public:
  explicit TCliMessenger(TCliAnswer answer = TCliAnswer::Ask, std::FILE* input = stdin)
      : answer_(answer), input_(input) {}

  void ShowMessage(TMessageKind kind, const std::string& text) override;
  bool ConfirmOkCancel(const std::string& text) override;
  bool ConfirmOkAbort(const std::string& text) override;

 private:
  bool Answer(const std::string& text, const char* choices);

  TCliAnswer answer_;
  std::FILE* input_;
};

}  // namespace tovra::cli
