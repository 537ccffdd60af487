#include "cli/cli_messenger.h"

#include <cctype>

namespace tovra::cli {
namespace {

// One line of input without its line end; false at end of input.
bool ReadAnswerLine(std::FILE* input, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(input)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  if (c == EOF && line.empty()) return false;
  while (!line.empty() && (line.back() == '\r' || std::isspace(static_cast<unsigned char>(line.back()))))
    line.pop_back();
  return true;
}

bool IsYes(const std::string& answer) {
  std::string lower;
  for (char c : answer) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower == "y" || lower == "yes" || lower == "ok";
}

}  // namespace

TCliAnswer TakeAnswerFlags(Args& args) {
  bool yes = TakeFlag(args, "--yes");
  bool no = TakeFlag(args, "--no");
  if (yes && no) throw UsageError{"--yes and --no cannot be given together"};
  return yes ? TCliAnswer::Yes : no ? TCliAnswer::No : TCliAnswer::Ask;
}

void TCliMessenger::ShowMessage(TMessageKind kind, const std::string& text) {
  (void)kind;  // the terminal shows both kinds alike
  PrintError(text);
}

bool TCliMessenger::ConfirmOkCancel(const std::string& text) { return Answer(text, "[ok/cancel]"); }

bool TCliMessenger::ConfirmOkAbort(const std::string& text) { return Answer(text, "[ok/abort]"); }

bool TCliMessenger::Answer(const std::string& text, const char* choices) {
  PrintError(text);
  if (answer_ != TCliAnswer::Ask) {
    std::fprintf(stderr, "%s %s\n", choices, answer_ == TCliAnswer::Yes ? "ok (--yes)" : "no (--no)");
    return answer_ == TCliAnswer::Yes;
  }
  std::fprintf(stderr, "%s ", choices);
  std::fflush(stderr);
  std::string line;
  return ReadAnswerLine(input_, line) && IsYes(line);
}

}  // namespace tovra::cli
