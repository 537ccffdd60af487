#include "cli/cli_messenger.h"

#include <unistd.h>

#include "platform/encoding.h"
#include "util/char_string.h"
#include "util/string_list.h"

namespace tovra::cli {
namespace {

// One line of input without its line end; false at end of input.
bool ReadAnswerLine(std::FILE* input, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(input)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  return c != EOF || !line.empty();
}

bool IsYes(const std::string& answer) {
  return SameTextNoCase(answer, "y") || SameTextNoCase(answer, "yes") || SameTextNoCase(answer, "ok");
}

void WriteToStderr(const std::string& terminalText) {
  std::fwrite(terminalText.data(), 1, terminalText.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

ECliNoAnswer::ECliNoAnswer()
    : std::runtime_error("no answer: standard input ended before the question was answered (use --yes or --no)") {}

TCliAnswer AnswerOf(const TParsedArgs& args) {
  const bool yes = args.Has("--yes");
  const bool no = args.Has("--no");
  if (yes && no) throw UsageError{"--yes and --no cannot be given together"};
  return yes ? TCliAnswer::Yes : no ? TCliAnswer::No : TCliAnswer::Ask;
}

void TCliMessenger::ShowMessage(TMessageKind kind, const std::string& text) {
  (void)kind;  // the terminal shows both kinds alike
  PrintError(text);
}

bool TCliMessenger::Ask(const std::string& question) {
  WriteToStderr(ToTerminal(EscapeControls(question) + " [y/N] "));
  if (answer_ != TCliAnswer::Ask) {
    WriteToStderr(answer_ == TCliAnswer::Yes ? "y\n" : "n\n");
    return answer_ == TCliAnswer::Yes;
  }
  std::string line;
  if (!ReadAnswerLine(input_, line)) {
    WriteToStderr("\n");
    throw ECliNoAnswer();
  }
  const std::string answer = CharTrim(FromTerminal(line));
  // An answer that came through a pipe was not echoed by a terminal: show it.
  if (!::isatty(::fileno(input_))) PrintError(answer);
  return IsYes(answer);
}

}  // namespace tovra::cli
