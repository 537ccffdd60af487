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

const TSyntax kRewrite{"rewrite",
                       {{"--popup", nullptr, "the popup step"},
                        {"--bottom-banner", nullptr, "the bottom banner step"},
                        {"--top-banner", nullptr, "the top banner step"},
                        {"--flash", nullptr, "the Flash step"},
                        kPageEncodingOption},
                       "PAGE...",
                       "rewrites the pages in place as the upload does (description tag always,\n"
                       "the other steps by flag) and prints the files the rewriting adds to the\n"
                       "upload list. Only .htm and .html files are rewritten; pages are read\n"
                       "and written as Shift-JIS unless --page-encoding says otherwise."};

// The upload rewrites only entries with exactly these extensions.
bool IsPage(std::string_view path) { return path.ends_with(".htm") || path.ends_with(".html"); }

int RunRewrite(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kRewrite, given);
  const Args& args = parsed.Operands();
  RewriteOptions options;
  options.popup = parsed.Has("--popup");
  options.bottomBanner = parsed.Has("--bottom-banner");
  options.topBanner = parsed.Has("--top-banner");
  options.flash = parsed.Has("--flash");
  options.pageEncoding = PageEncodingOf(parsed);
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

void RegisterRewriteCommands() { Commands().push_back({"rewrite", UsageOf(kRewrite), RunRewrite}); }

}  // namespace tovra::cli
