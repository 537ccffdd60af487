#include "html/insert_at_tag.h"

#include "html/page_encoding.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "util/char_string.h"

namespace tovra {

const std::string_view kPositionBefore = "直前";
const std::string_view kPositionAfter = "直後";

namespace {

bool AnyLineContains(const TStringList& lines, std::string_view text) {
  for (const auto& line : lines) {
    if (CharFind(line, text) != std::string_view::npos) return true;
  }
  return false;
}

bool BeginsWithBlankOrTab(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

// The three spellings under which a tag is recognised in a lower-cased line.
struct TagForms {
  std::string exact;    // "<body>"
  std::string attrs;    // "<body " : the tag carries attributes
  std::string lineEnd;  // "<body"  : attributes continue on the next line
};

TagForms FormsOf(std::string_view tag) {
  TagForms forms;
  forms.exact = CharLowerCase(tag);
  forms.attrs = ReplaceAll(forms.exact, ">", " ");
  forms.lineEnd = ReplaceAll(forms.exact, ">", "");
  return forms;
}

// Byte offset of the tag on line j (offsets of the lower-cased line are those
// of the line itself: lowering keeps every character's length), or std::string_view::npos.
std::size_t FindTagOnLine(const TStringList& lines, int j, const TagForms& forms) {
  std::string low = CharLowerCase(lines[j]);
  std::size_t p = CharFind(low, forms.exact);
  if (p == std::string_view::npos) p = CharFind(low, forms.attrs);
  if (p == std::string_view::npos && j + 1 < lines.Count()) {
    p = CharFind(low, forms.lineEnd);
    if (p != std::string_view::npos && !BeginsWithBlankOrTab(lines[j + 1])) p = std::string_view::npos;
  }
  return p;
}

// Inserts text behind the first '>' at or after byte p of line j, looking on
// to later lines when line j has none.
bool InsertAfterClose(TStringList& lines, int j, std::size_t p, std::string_view text) {
  for (int k = j; k < lines.Count(); ++k, p = 0) {
    std::size_t close = CharFind(lines[k], ">", p);
    if (close == std::string_view::npos) continue;
    std::string line = lines[k];
    line.insert(close + 1, text);
    lines.Set(k, std::move(line));
    return true;
  }
  return false;
}

}  // namespace

bool InsertAtTagInLines(TStringList& lines, std::string_view tag, std::string_view text, std::string_view position) {
  if (tag.empty() || text.empty()) return false;
  if (AnyLineContains(lines, text)) return false;
  TagForms forms = FormsOf(tag);
  for (int j = 0; j < lines.Count(); ++j) {
    std::size_t p = FindTagOnLine(lines, j, forms);
    if (p == std::string_view::npos) continue;
    if (position == kPositionBefore) {
      std::string line = lines[j];
      line.insert(p, text);
      lines.Set(j, std::move(line));
      return true;
    }
    if (position == kPositionAfter) return InsertAfterClose(lines, j, p, text);
    return false;
  }
  return false;
}

bool InsertAtTag(const std::string& file, std::string_view tag, std::string_view text, std::string_view position,
                 TPageEncoding encoding) {
  const TPage page = ReadPage(file, encoding);
  TStringList lines = page.text.lines;
  if (!InsertAtTagInLines(lines, tag, Cp932ToPageText(text, page.encoding), position)) return false;
  WriteFileAtomic(file, PageBytesOf(page, lines));
  return true;
}

}  // namespace tovra
