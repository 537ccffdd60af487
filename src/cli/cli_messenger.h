// The one way tovra-cli shows messages and asks questions, for every
// command: messages go to stderr; a question is printed to stderr as
// "TEXT [y/N] " and answered by --yes or --no when the command was given
// one, otherwise by a line read from standard input (a terminal or a pipe
// alike; an answer that came through a pipe is echoed, so the transcript
// reads as it would at a terminal). "y", "yes" and "ok" in any letter case
// mean yes, anything else no. When standard input ends before an answer,
// the command stops with ECliNoAnswer instead of guessing.
// Single-threaded like the rest of the CLI, except that one question may be
// asked from the transfer thread while the main thread waits.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

#include "cli/cli_common.h"
#include "util/messenger.h"

namespace tovra::cli {

enum class TCliAnswer {
  Ask,  // read the answer from standard input
  Yes,
  No,
};

// The options --yes and --no, for a command's table, and the answer they
// give (both given is a usage error).
inline constexpr TOption kYesOption{"--yes", nullptr, "answer every question yes"};
inline constexpr TOption kNoOption{"--no", nullptr, "answer every question no"};
TCliAnswer AnswerOf(const TParsedArgs& args);

// Standard input ended where an answer was needed.
class ECliNoAnswer : public std::runtime_error {
 public:
  ECliNoAnswer();
};

class TCliMessenger : public IMessenger {
 public:
  explicit TCliMessenger(TCliAnswer answer = TCliAnswer::Ask, std::FILE* input = stdin)
      : answer_(answer), input_(input) {}

  void ShowMessage(TMessageKind kind, const std::string& text) override;
  bool ConfirmOkCancel(const std::string& text) override { return Ask(text); }
  bool ConfirmOkAbort(const std::string& text) override { return Ask(text); }
  // The question, its answer; throws ECliNoAnswer at the end of input.
  bool Ask(const std::string& question);

 private:
  TCliAnswer answer_;
  std::FILE* input_;
};

}  // namespace tovra::cli
