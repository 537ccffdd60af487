// Shared plumbing of tovra-cli: the command table, the option tables every
// command parses its arguments by (and its usage text is made from), and
// printing CP932 text in the terminal's encoding.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/text_encodings.h"

namespace tovra::cli {

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Thrown for a usage error; main prints the text and the usage (of the
// form that was parsed when one is named, else of the command), exits 2.
struct UsageError {
  std::string message;
  std::string usage = {};
};

// Arguments after the command name, converted to CP932.
using Args = std::vector<std::string>;

struct Command {
  const char* name;
  std::string usage;  // one or more lines, shown by --help (made by UsageOf)
  std::function<int(const Args&)> run;
};

// One option of a command's table.
struct TOption {
  const char* name;             // "--host"
  const char* value = nullptr;  // the placeholder of its value ("H", "ask|skip|stop"); nullptr: a flag
  const char* help = "";        // one line for the usage
  bool required = false;        // must be given, with a value that is not empty
};

// One form of a command: the words that start it, its options, what follows
// them and what it does. Its options are the only ones it accepts.
struct TSyntax {
  const char* words;  // "put", "site set NAME"
  std::vector<TOption> options;
  const char* operands;     // "FILE...", "" for none
  const char* description;  // lines separated by '\n'
};

// A command line parsed by a syntax: the options given, and the operands
// (every other argument, in order). Asking about an option the syntax's
// table lacks is a fault of the command (std::logic_error), so the code
// cannot read an option that its usage does not show.
class TParsedArgs {
 public:
  bool Has(std::string_view name) const;
  std::string Value(std::string_view name) const;  // empty when absent
  const Args& Operands() const { return operands_; }

 private:
  friend TParsedArgs ParseArgs(const TSyntax& syntax, const Args& args);
  explicit TParsedArgs(const TSyntax& syntax) : syntax_(syntax) {}
  const std::pair<std::string, std::string>* Find(std::string_view name) const;
  const TSyntax& syntax_;
  std::vector<std::pair<std::string, std::string>> given_;
  Args operands_;
};

// Parses args by the syntax's table (which must outlive the result), in any
// order. An argument starting with '-' (other than "-" itself) is an option,
// the argument after an option that takes a value is its value (whatever it
// starts with); after "--" every argument is an operand. A usage error names an option the table lacks, an option
// given twice, a missing value and a required option not given.
TParsedArgs ParseArgs(const TSyntax& syntax, const Args& args);
// The usage of a form: the synopsis line, the description and one line per
// option, indented as the command list shows them.
std::string UsageOf(const TSyntax& syntax);
// The usage of a command with several forms, one after another.
std::string UsageOf(std::initializer_list<const TSyntax*> forms);

// Every command group registers itself through one function, called in
// cli_common.cpp before the first command is looked up.
std::vector<Command>& Commands();
void RegisterLinkCommands();     // links, deps
void RegisterSiteCommands();     // sites, site show|set|delete
void RegisterFtpCommands();      // put, ls
void RegisterSftpCommands();     // hostkey
void RegisterRewriteCommands();  // rewrite
void RegisterUploadCommands();   // upload
void RegisterPublishCommand();   // publish
void RegisterUpdateCommands();   // check-updates
void RegisterWhereCommand();     // where
void RegisterVerifyCommand();    // verify

// CP932 text to stdout / stderr in the terminal's encoding, with a line end.
// Much of it comes from outside (server replies, listing names, page
// references, file names), so control characters other than TAB and the
// line feeds that separate lines are shown escaped (EscapeControls) and can
// never drive the terminal.
void PrintLine(std::string_view cp932);
void PrintError(std::string_view cp932);
// The text with every control character but TAB and LF written as "\xNN";
// the CR of a CR LF pair is dropped with the pair kept as LF.
std::string EscapeControls(std::string_view cp932);

// A FILE argument as an absolute path: one given relative is taken from the
// current folder (as typed: "." and ".." pieces stay).
std::string AbsoluteFromHere(const std::string& path);
// The --page-encoding option (auto, shift_jis, utf-8), checked as the site
// setting PageEncoding is; absent means shift_jis.
inline constexpr TOption kPageEncodingOption{"--page-encoding", "auto|shift_jis|utf-8",
                                             "the pages' encoding (default shift_jis)"};
TPageEncoding PageEncodingOf(const TParsedArgs& args);

}  // namespace tovra::cli
