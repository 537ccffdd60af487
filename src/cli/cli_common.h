// Shared plumbing of tovra-cli: the command table, argument access and
// printing CP932 text in the terminal's encoding.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "util/text_encodings.h"

namespace tovra::cli {

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Thrown for a usage error; main prints the text and the usage, exits 2.
struct UsageError {
  std::string message;
};

// Arguments after the command name, converted to CP932.
using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;  // one or more lines, shown by --help
  std::function<int(const Args&)> run;
};

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

// Pops the value of an option such as "--root VALUE" out of args; empty when
// absent. Throws UsageError when the value is missing.
std::string TakeOption(Args& args, std::string_view name);
bool TakeFlag(Args& args, std::string_view name);
// A FILE argument as an absolute path: one given relative is taken from the
// current folder (as typed: "." and ".." pieces stay).
std::string AbsoluteFromHere(const std::string& path);
// The --page-encoding option (auto, shift_jis, utf-8), checked as the site
// setting PageEncoding is; absent means shift_jis.
TPageEncoding TakePageEncoding(Args& args);

}  // namespace tovra::cli
