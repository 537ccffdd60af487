// tovra-cli rewrite: page rewriting as the upload applies it, with the
// optional steps that the window keeps hidden reachable through flags.
#include <string>
#include <string_view>

#include "cli/cli_common.h"
#include "cli/cli_messenger.h"
#include "upload/page_rewriter.h"
#include "util/string_list.h"

namespace tovra::cli {
namespace {

constexpr const char* kUsage =
    "  rewrite [--popup] [--bottom-banner] [--top-banner] [--flash]\n"
    "          [--page-encoding auto|shift_jis|utf-8] PAGE...\n"
    "      rewrites the pages in place as the upload does (description tag always,\n"
    "      the other steps by flag) and prints the files the rewriting adds to the\n"
    "      upload list. Only .htm and .html files are rewritten; pages are read\n"
    "      and written as Shift-JIS unless --page-encoding says otherwise.";

// The upload rewrites only entries with exactly these extensions.
bool IsPage(std::string_view path) { return path.ends_with(".htm") || path.ends_with(".html"); }

int RunRewrite(const Args& given) {
  Args args = given;
  RewriteOptions options;
  options.popup = TakeFlag(args, "--popup");
  options.bottomBanner = TakeFlag(args, "--bottom-banner");
  options.topBanner = TakeFlag(args, "--top-banner");
  options.flash = TakeFlag(args, "--flash");
  options.pageEncoding = TakePageEncoding(args);
  for (const auto& arg : args) {
    if (arg.starts_with("--")) throw UsageError{"unknown option " + arg};
  }
  if (args.empty()) throw UsageError{"no page given"};

  // The pages start the upload list, as the selection does in an upload;
  // what rewriting appends is printed as it comes, also when a later step
  // of the page fails.
  TStringList uploadList;
  for (const auto& page : args) uploadList.Add(page);
  int printed = uploadList.Count();
  auto printAppended = [&] {
    for (; printed < uploadList.Count(); ++printed) PrintLine(uploadList[printed]);
  };
  TCliMessenger messenger;
  for (const auto& page : args) {
    if (!IsPage(page)) {
      PrintError("skipped, not a .htm or .html page: " + page);
      continue;
    }
    try {
      RewritePage(page, options, uploadList, messenger);
    } catch (...) {
      printAppended();
      throw;
    }
    printAppended();
  }
  return kExitOk;
}

}  // namespace

void RegisterRewriteCommands() { Commands().push_back({"rewrite", kUsage, RunRewrite}); }

}  // namespace tovra::cli
