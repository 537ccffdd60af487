// tovra-cli links / deps: what link extraction and dependency collection find
// in pages, printed one entry per line.
#include <filesystem>

#include "cli/cli_common.h"
#include "html/dependencies.h"
#include "html/htmlanal.h"
#include "html/page_encoding.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "upload/upload_job.h"
#include "util/string_list.h"

namespace tovra::cli {
namespace {

const char* const kLinksUsage =
    "  links [--page-encoding auto|shift_jis|utf-8] PAGE...\n"
    "      print the references written in each page, in document order,\n"
    "      exactly as written (duplicates kept); pages are read as Shift-JIS\n"
    "      unless --page-encoding says otherwise";
const char* const kDepsUsage =
    "  deps --root ROOT [--page-encoding auto|shift_jis|utf-8] PAGE...\n"
    "      print the upload list that selecting these pages gives: the pages\n"
    "      in the given order, then the files each .htm/.html page needs,\n"
    "      one absolute path per line (missing files not yet removed)";

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

int RunLinks(const Args& given) {
  Args args = given;
  const TPageEncoding encoding = TakePageEncoding(args);
  if (args.empty()) throw UsageError{"links: no PAGE given"};
  for (const std::string& arg : args) {
    if (arg.starts_with("--")) throw UsageError{"links: unknown option " + arg};
  }
  TStringList links;
  for (const std::string& page : args) {
    const std::string bytes = ReadFileBytes(page);
    const TPageEncoding pageEncoding = ResolvePageEncoding(encoding, bytes);
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
  Args args = given;
  const std::string root = TakeOption(args, "--root");
  const TPageEncoding encoding = TakePageEncoding(args);
  if (root.empty()) throw UsageError{"deps: --root ROOT is required"};
  for (const std::string& arg : args) {
    if (arg.starts_with("--")) throw UsageError{"deps: unknown option " + arg};
  }
  if (args.empty()) throw UsageError{"deps: no PAGE given"};

  const std::string siteRoot = AbsolutePath(root);
  TStringList uploadList;
  for (const std::string& page : args) uploadList.Add(AbsolutePath(page));
  // As the upload preparation does: only pages are read, in the given order.
  const int selected = uploadList.Count();
  TStringList unrepresentable;
  for (int i = 0; i < selected; ++i) {
    const std::string page = uploadList[i];
    if (IsPageName(page)) CollectDependencies(uploadList, siteRoot, page, encoding, &unrepresentable);
  }
  TStringList outside;
  SetAsideOutsideSite(uploadList, selected, siteRoot, outside);
  PrintList(uploadList);
  for (const std::string& line : outside) PrintError(line);
  for (const std::string& line : unrepresentable) PrintError(line);
  return kExitOk;
}

}  // namespace

void RegisterLinkCommands() {
  Commands().push_back({"links", kLinksUsage, RunLinks});
  Commands().push_back({"deps", kDepsUsage, RunDeps});
}

}  // namespace tovra::cli
