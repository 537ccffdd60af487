// tovra-cli: the upload pipeline without a window.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <exception>

#include "cli/cli_common.h"
#include "cli/interrupt.h"
#include "platform/app_folder.h"
#include "platform/encoding.h"
#include "util/errors.h"

namespace tovra::cli {
namespace {

void PrintUsage(std::FILE* out) {
  std::fputs("usage: tovra-cli COMMAND [ARGS...]\n       tovra-cli --help | --version\n\ncommands:\n", out);
  for (const auto& command : Commands()) std::fprintf(out, "%s\n", command.usage.c_str());
}

// An argument in CP932. A KEY=VALUE argument that cannot be converted is
// named by its key alone: its value may be a password.
std::string ConvertArgument(std::string_view arg) {
  try {
    return tovra::FromTerminal(arg);
  } catch (const tovra::EEncodingError&) {
    const std::size_t eq = arg.find('=');
    const std::string_view key = arg.substr(0, eq);
    const bool plainKey = eq != std::string_view::npos && eq > 0 &&
                          std::all_of(key.begin(), key.end(), [](char c) { return c > ' ' && c < 0x7f; });
    if (!plainKey) throw;
    throw tovra::EEncodingError("文字コードを変換できません: " + std::string(key));
  }
}

}  // namespace
}  // namespace tovra::cli

int main(int argc, char** argv) {
  using namespace tovra::cli;
  std::setlocale(LC_CTYPE, "");
  if (argc < 2 || std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h") {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? kExitUsage : kExitOk;
  }
  if (std::string_view(argv[1]) == "--version") {
    std::printf("tovra-cli %s\n", TOVRA_VERSION);
    return kExitOk;
  }
  std::string_view name = argv[1];
  for (const auto& command : Commands()) {
    if (name != command.name) continue;
    if (std::string warning = tovra::AppFolderWarning(); !warning.empty()) PrintError(warning);
    Args args;
    try {
      for (int i = 2; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
          std::printf("%s\n", command.usage.c_str());
          return kExitOk;
        }
        args.push_back(ConvertArgument(argv[i]));
      }
      return command.run(args);
    } catch (const UsageError& e) {
      PrintError(e.message);
      std::fprintf(stderr, "usage:\n%s\n", (e.usage.empty() ? command.usage : e.usage).c_str());
      return kExitUsage;
    } catch (const std::exception& e) {
      PrintError(e.what());
      // A command that Ctrl-C cut short (mid-wait) ends as interrupted.
      return TInterruptCancels::Interrupted() ? kExitInterrupted : kExitFailure;
    }
  }
  std::fprintf(stderr, "tovra-cli: unknown command '%s'\n", argv[1]);
  PrintUsage(stderr);
  return kExitUsage;
}
