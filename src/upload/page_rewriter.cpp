#include "upload/page_rewriter.h"

#include <string_view>
#include <vector>

#include "html/FlashExchange.h"
#include "html/insert_at_tag.h"
#include "html/page_encoding.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "upload/support_files.h"
#include "util/char_string.h"

namespace tovra {
namespace {

constexpr std::string_view kDescriptionStart = "<META name=\"description\" content=\"";
constexpr std::string_view kPopupScript = "<SCRIPT LANGUAGE=\"JavaScript\">self.focus();</SCRIPT>";
constexpr std::string_view kBottomScriptRef = "<script language=\"JavaScript\" src=\"presentedbybottom.js\"></script>";
constexpr std::string_view kBottomCall = "<script language=\"javascript\">bottomline();</script>";
constexpr std::string_view kTopScriptRefs =
    "<script language=\"JavaScript\" src=\"presentedbyv6.js\"></script>"
    "<script language=\"javascript\" src=\"historybutton.js\"></script>";
constexpr std::string_view kBottomScript = "presentedbybottom.js";
constexpr std::string_view kTopMovies[] = {"PresentedByV6.swf", "loadVariables.swf"};
constexpr std::string_view kTopScripts[] = {"presentedbyv6.js", "historybutton.js"};

// Whether only description tags stand between byte `from` of the line and
// the head end tag: a tag there is at the end of the head already, and
// cutting it would only rotate the tags of that line on every upload.
bool AtHeadEnd(std::string_view line, std::size_t from) {
  std::string rest = CharLowerCase(line.substr(from));
  std::string_view restView = rest;
  std::string lowerStart = CharLowerCase(kDescriptionStart);
  while (restView.starts_with(lowerStart)) {
    std::size_t close = CharFind(restView, ">");
    if (close == std::string_view::npos) return false;
    restView.remove_prefix(close + 1);
  }
  return restView.starts_with("</head>") || restView.starts_with("</head ") || restView == "</head";
}

// Moves the description tag at the start of line i in front of the head end.
// False when the line does not begin with one, when the tag stands at the
// head end already, or when it cannot be moved: no head end to take it, or a
// copy of it elsewhere in the page. The tag then stays on its line.
bool MoveLeadingTag(TStringList& lines, int i) {
  const std::string line = lines[i];
  if (!line.starts_with(kDescriptionStart)) return false;
  std::size_t close = CharFind(line, ">");
  if (close == std::string_view::npos || AtHeadEnd(line, close + 1)) return false;
  std::string tag = line.substr(0, close + 1);
  lines.Set(i, ReplaceAll(line, tag, ""));
  if (InsertAtTagInLines(lines, "</head>", tag, kPositionBefore)) return true;
  lines.Set(i, line);
  return false;
}

void AddOnce(TStringList& uploadList, const std::string& path) {
  if (!uploadList.Contains(path)) uploadList.Add(path);
}

// The page is read and written in its own encoding (ReadPage), so a UTF-8
// page's description tag moves as the bytes it was written in.
void MoveDescriptionTagsInFile(const std::string& page, TPageEncoding encoding) {
  const TPage text = ReadPage(page, encoding);
  TStringList lines = text.text.lines;
  if (MoveDescriptionTags(lines)) WriteFileAtomic(page, PageBytesOf(text, lines));
}

void AddBottomBanner(const std::string& page, const std::string& folder, TStringList& uploadList,
                     TPageEncoding encoding) {
  CopySupportFile(folder, kBottomScript, TCopyMode::TextLines);
  AddOnce(uploadList, PathInFolder(folder, kBottomScript));
  InsertAtTag(page, "</head>", kBottomScriptRef, kPositionBefore, encoding);
  InsertAtTag(page, "</body>", kBottomCall, kPositionBefore, encoding);
}

void AddTopBanner(const std::string& page, const std::string& folder, TStringList& uploadList, TPageEncoding encoding) {
  for (std::string_view movie : kTopMovies) {
    CopySupportFile(folder, movie, TCopyMode::ExactBytes);
    AddOnce(uploadList, PathInFolder(folder, movie));
  }
  // A script already beside the page was sent with an earlier upload.
  for (std::string_view script : kTopScripts) {
    if (CopySupportFile(folder, script, TCopyMode::TextLines)) AddOnce(uploadList, PathInFolder(folder, script));
  }
  InsertAtTag(page, "<body>", kTopScriptRefs, kPositionAfter, encoding);
}

void ConvertFlash(const std::string& page, TStringList& uploadList, IMessenger& messenger, TPageEncoding encoding) {
  std::vector<std::string> scripts;
  ConvertFlashObjects(page, messenger, &scripts, encoding);
  for (const auto& script : scripts) {
    if (FileExists(script)) AddOnce(uploadList, script);
  }
}

}  // namespace

bool MoveDescriptionTags(TStringList& lines) {
  const TStringList before = lines;
  for (int i = 0; i < lines.Count(); ++i) {
    // Only the page's own description lines are cut: a head end line further
    // down that has just been given a tag is not taken apart again.
    if (!before[i].starts_with(kDescriptionStart)) continue;
    // A line that begins with several tags gives up one after the other, so
    // that one rewrite leaves the page at rest. Each round moves a tag from
    // the start of the line behind the rest of the head, so the rounds end.
    for (std::size_t round = 0; round <= before[i].size(); ++round) {
      if (!MoveLeadingTag(lines, i)) break;
    }
  }
  return !(lines == before);
}

void RewritePage(const std::string& page, const RewriteOptions& options, TStringList& uploadList,
                 IMessenger& messenger) {
  std::string folder = ExtractFileDir(page);
  const TPageEncoding encoding = options.pageEncoding;
  MoveDescriptionTagsInFile(page, encoding);
  if (options.popup) InsertAtTag(page, "</body>", kPopupScript, kPositionBefore, encoding);
  if (options.bottomBanner) AddBottomBanner(page, folder, uploadList, encoding);
  if (options.topBanner) AddTopBanner(page, folder, uploadList, encoding);
  if (options.flash) ConvertFlash(page, uploadList, messenger, encoding);
}

}  // namespace tovra
