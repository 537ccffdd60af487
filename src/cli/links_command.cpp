// tovra-cli links / deps: what link extraction and dependency collection find
// in pages, printed one entry per line.
#include <algorithm>
#include <filesystem>
#include <optional>

#include "cli/cli_common.h"
#include "html/dependencies.h"
#include "html/htmlanal.h"
#include "html/modern_dependencies.h"
#include "html/page_encoding.h"
#include "html/references.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/path_pieces.h"
#include "sites/extended_settings.h"
#include "upload/upload_job.h"
#include "util/char_string.h"
#include "util/string_list.h"

namespace tovra::cli {
namespace {

constexpr TOption kReferencesOption{"--references", "classic|modern", "which references (default classic)"};

const TSyntax kLinks{"links",
                     {kReferencesOption,
                      {"--root", "ROOT", "the site folder (modern; default: the page's folder)"},
                      kPageEncodingOption},
                     "PAGE...",
                     "print the references written in each page, in document order:\n"
                     "classic (the default) as written, duplicates kept, pages read as\n"
                     "Shift-JIS unless --page-encoding says otherwise; modern what a\n"
                     "browser loads, decoded, as paths below ROOT (the page's folder\n"
                     "when not given), each once, encoding auto unless given"};
const TSyntax kDeps{"deps",
                    {{"--root", "ROOT", "the site folder", true},
                     kReferencesOption,
                     {"--web-url", "URL", "the site's own address (modern)"},
                     kPageEncodingOption},
                    "PAGE...",
                    "print the upload list that selecting these pages gives: the pages\n"
                    "in the given order, then the files each .htm/.html page needs,\n"
                    "one absolute path per line; classic (the default): missing files\n"
                    "not yet removed; modern: what a browser loads to show the page,\n"
                    "and on stderr each file that cannot be sent with its reason and\n"
                    "referrer (URL is the site's own address)"};

// The upload list holds absolute paths; paths typed relative to the current
// folder are made absolute (and "." / ".." pieces folded) here.
std::string AbsolutePath(const std::string& path) {
  std::filesystem::path os(ToOsPath(path));
  return FromOsPath(std::filesystem::absolute(os).lexically_normal().string());
}

bool IsPageName(std::string_view path) { return path.ends_with(".htm") || path.ends_with(".html"); }

// One conversion for the whole list: a page can give a million lines.
void PrintList(const TStringList& list) {
  if (list.Empty()) return;
  std::string text;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) text += '\n';
    text += list[i];
  }
  PrintLine(text);
}

// --references: classic unless modern is asked for; with modern the page
// encoding is decided page by page unless --page-encoding says otherwise.
struct ReferenceOptions {
  bool modern = false;
  TPageEncoding encoding = TPageEncoding::ShiftJis;
};

ReferenceOptions ReferenceOptionsOf(const TParsedArgs& args) {
  const std::string value = args.Value("--references");
  TExtendedSettings settings;
  if (!value.empty()) settings.Set("References", value);
  ReferenceOptions options;
  options.modern = settings.References() == TReferenceMode::Modern;
  options.encoding = PageEncodingOf(args);
  if (options.modern && !args.Has("--page-encoding")) options.encoding = TPageEncoding::Auto;
  return options;
}

void RequirePages(const Args& pages, const std::string& command) {
  if (pages.empty()) throw UsageError{command + ": no PAGE given"};
}

// The modern references of one page as paths below the root, for showing.
void ModernLinks(const std::string& page, const std::string& rootGiven, TPageEncoding encoding, TStringList& links) {
  const std::string file = AbsolutePath(page);
  const std::string root = rootGiven.empty() ? ExtractFileDir(file) : AbsolutePath(rootGiven);
  std::string below;
  if (!PathBelowRoot(root, file, below)) throw UsageError{"links: " + page + " does not lie below " + root};
  const std::string bytes = ReadFileBytes(file);
  const std::string pageUrl = Cp932ToUtf8(ReplaceAll(below, kPathSepStr, "/"));
  auto fetch = [&](const std::string& path) -> std::optional<std::string> {
    std::string local;
    if (!TryUtf8ToCp932(path, local) || !FileExists(SiteRootPrefix(root) + local)) return std::nullopt;
    return ReadFileBytes(SiteRootPrefix(root) + local);
  };
  for (const TPageReference& r : CollectPageReferences(TPageSource{bytes, pageUrl, encoding, {}}, fetch)) {
    links.Add(Utf8ForDisplay(r.path));
  }
}

int RunLinks(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kLinks, given);
  const Args& args = parsed.Operands();
  const ReferenceOptions options = ReferenceOptionsOf(parsed);
  const std::string root = parsed.Value("--root");
  RequirePages(args, "links");
  TStringList links;
  for (const std::string& page : args) {
    if (options.modern) {
      ModernLinks(page, root, options.encoding, links);
      continue;
    }
    const std::string bytes = ReadFileBytes(page);
    const TPageEncoding pageEncoding = ResolvePageEncoding(options.encoding, bytes);
    TStringList found;
    ExtractLinksFromText(found, bytes, pageEncoding);
    // Printed through the system's text: a UTF-8 reference shows its
    // characters, those CP932 lacks as [U+XXXX].
    for (const std::string& link : found) links.Add(pageEncoding == TPageEncoding::Utf8 ? Utf8ForDisplay(link) : link);
  }
  PrintList(links);
  return kExitOk;
}

int RunDeps(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kDeps, given);
  const Args& args = parsed.Operands();
  const std::string root = parsed.Value("--root");
  const std::string webUrl = parsed.Value("--web-url");
  const ReferenceOptions options = ReferenceOptionsOf(parsed);
  RequirePages(args, "deps");

  const std::string siteRoot = AbsolutePath(root);
  TStringList uploadList;
  for (const std::string& page : args) uploadList.Add(AbsolutePath(page));
  uploadList = UniqueSelection(uploadList);
  // As the upload preparation does: only pages are read, in the given order.
  const int selected = uploadList.Count();
  TMissingFiles unsendable;
  TModernDependencies modern(siteRoot, options.encoding, webUrl);
  for (int i = 0; i < selected; ++i) {
    const std::string page = uploadList[i];
    if (!IsPageName(page)) continue;
    if (options.modern) {
      modern.Collect(uploadList, page, unsendable);
    } else {
      CollectDependencies(uploadList, siteRoot, page, options.encoding, &unsendable);
    }
  }
  TMissingFiles outside;
  SetAsideOutsideSite(uploadList, selected, siteRoot, outside);
  PrintList(uploadList);
  for (const std::string& line : outside.Lines()) PrintError(line);
  for (const std::string& line : unsendable.Lines()) PrintError(line);
  return kExitOk;
}

}  // namespace

void RegisterLinkCommands() {
  Commands().push_back({"links", UsageOf(kLinks), RunLinks});
  Commands().push_back({"deps", UsageOf(kDeps), RunDeps});
}

}  // namespace tovra::cli
