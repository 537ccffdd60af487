#include "cli/cli_common.h"

#include <cstdio>

#include "platform/encoding.h"

namespace tovra::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  static bool registered = false;
  if (!registered) {
    registered = true;
    RegisterLinkCommands();
    RegisterSiteCommands();
    RegisterFtpCommands();
    RegisterRewriteCommands();
    RegisterUploadCommands();
    RegisterUpdateCommands();
    RegisterWhereCommand();
  }
  return commands;
}

void PrintLine(std::string_view cp932) {
  std::string text = ToTerminal(cp932);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void PrintError(std::string_view cp932) {
  std::string text = ToTerminal(cp932);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
}

std::string TakeOption(Args& args, std::string_view name) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != name) continue;
    if (i + 1 >= args.size()) throw UsageError{std::string(name) + " needs a value"};
    std::string value = args[i + 1];
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return value;
  }
  return {};
}

bool TakeFlag(Args& args, std::string_view name) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

}  // namespace tovra::cli
