#include "html/FlashExchange.h"

#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "util/char_string.h"

namespace tovra {

const std::string_view kPositionBefore = "直前";
const std::string_view kPositionAfter = "直後";

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::string_view kObjectStart = "<object classid=\"";
constexpr std::string_view kObjectEnd = "</object>";
constexpr std::string_view kMovieParam = "<param name=\"movie\"";
constexpr std::string_view kValueAttr = "value=\"";

// --- InsertAtTag ---------------------------------------------------------------

bool AnyLineContains(const TStringList& lines, std::string_view text) {
  for (const auto& line : lines) {
    if (CharFind(line, text) != npos) return true;
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
// of the line itself: lowering keeps every character's length), or npos.
std::size_t FindTagOnLine(const TStringList& lines, int j, const TagForms& forms) {
  std::string low = CharLowerCase(lines[j]);
  std::size_t p = CharFind(low, forms.exact);
  if (p == npos) p = CharFind(low, forms.attrs);
  if (p == npos && j + 1 < lines.Count()) {
    p = CharFind(low, forms.lineEnd);
    if (p != npos && !BeginsWithBlankOrTab(lines[j + 1])) p = npos;
  }
  return p;
}

// Inserts text behind the first '>' at or after byte p of line j, looking on
// to later lines when line j has none.
bool InsertAfterClose(TStringList& lines, int j, std::size_t p, std::string_view text) {
  for (int k = j; k < lines.Count(); ++k, p = 0) {
    std::size_t close = CharFind(lines[k], ">", p);
    if (close == npos) continue;
    std::string line = lines[k];
    line.insert(close + 1, text);
    lines.Set(k, std::move(line));
    return true;
  }
  return false;
}

// --- Flash conversion ------------------------------------------------------------

std::string PathIn(std::string_view folder, std::string_view name) {
  return folder.empty() ? std::string(name) : JoinPath(folder, name);
}

bool ContainsNoCase(std::string_view line, std::string_view lowerSub) {
  return CharFind(CharLowerCase(line), lowerSub) != npos;
}

// Index of the first line at or after `from` that contains lowerSub ignoring
// letter case, or -1.
int FindLineNoCase(const TStringList& lines, std::string_view lowerSub, int from) {
  for (int i = from; i < lines.Count(); ++i) {
    if (ContainsNoCase(lines[i], lowerSub)) return i;
  }
  return -1;
}

// The movie value on a movie parameter line; false when the line has no
// value attribute, no closing quotation mark or an empty value.
bool MovieOnLine(std::string_view line, std::string& movie) {
  std::string low = CharLowerCase(line);
  if (CharFind(low, kMovieParam) == npos) return false;
  std::size_t value = CharFind(low, kValueAttr);
  if (value == npos) return false;
  std::size_t start = value + kValueAttr.size();
  std::size_t end = CharFind(line, "\"", start);
  if (end == npos || end == start) return false;
  movie = std::string(line.substr(start, end - start));
  return true;
}

struct Movie {
  std::string value;     // as written in the page
  std::string textFile;  // the author's alternative text beside it
};

// The first movie parameter of lines [s, e] whose text file exists.
bool FindMovie(const TStringList& lines, int s, int e, std::string_view folder, Movie& found) {
  for (int k = s; k <= e; ++k) {
    std::string movie;
    if (!MovieOnLine(lines[k], movie)) continue;
    std::string textFile = PathIn(folder, RemoveMovieExtension(movie) + "_text.html");
    if (!FileExists(textFile)) continue;
    found = {movie, textFile};
    return true;
  }
  return false;
}

// An element line as a JavaScript string body: apostrophes and backslashes
// would end or bend the string, so they are escaped. Character-wise, so a
// 0x5C trail byte of a double-byte character stays as it is.
std::string EscapeForScript(std::string_view line) {
  std::string out;
  out.reserve(line.size() + 8);
  for (std::size_t i = 0; i < line.size();) {
    std::size_t n = CharBytesAt(line, i);
    if (n == 1 && (line[i] == '\'' || line[i] == '\\')) out += '\\';
    out.append(line.substr(i, n));
    i += n;
  }
  return out;
}

std::string ScriptNameOf(std::string_view movie) { return RemoveMovieExtension(movie) + "_swf.js"; }

void AppendReplacementBlock(TStringList& out, const Movie& movie, const TStringList& body) {
  out.Add("<script language=\"JavaScript\" src=\"" + ScriptNameOf(movie.value) + "\"></script>");
  out.Add("<div class=\"oec\" id=\"" + movie.value + "\">");
  for (const auto& line : body) out.Add(line);
  out.Add("</div>");
}

// The Flash identifier, or empty when the list has none.
std::string ReadFlashId(const std::string& idFile) {
  TStringList ids = LoadLines(idFile);
  return ids.Empty() ? std::string() : ids[0];
}

}  // namespace

bool InsertAtTagInLines(TStringList& lines, std::string_view tag, std::string_view text, std::string_view position) {
  if (tag.empty() || text.empty()) return false;
  if (AnyLineContains(lines, text)) return false;
  TagForms forms = FormsOf(tag);
  for (int j = 0; j < lines.Count(); ++j) {
    std::size_t p = FindTagOnLine(lines, j, forms);
    if (p == npos) continue;
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

bool InsertAtTag(const std::string& file, std::string_view tag, std::string_view text, std::string_view position) {
  const TPageLines page = LoadPageLines(file);
  TStringList lines = page.lines;
  if (!InsertAtTagInLines(lines, tag, text, position)) return false;
  WriteFileAtomic(file, JoinPageLines(page, lines));
  return true;
}

int CharPosNoCase(std::string_view sub, std::string_view s) { return CharPos(CharLowerCase(sub), CharLowerCase(s)); }

std::string RemoveMovieExtension(std::string_view movie) {
  std::size_t lastDot = npos;
  for (std::size_t i = 0; i < movie.size();) {
    std::size_t n = CharBytesAt(movie, i);
    if (n == 1 && (movie[i] == '\\' || movie[i] == ':')) lastDot = npos;
    if (n == 1 && movie[i] == '.') lastDot = i;
    i += n;
  }
  return std::string(lastDot == npos ? movie : movie.substr(0, lastDot));
}

std::string WriteObjectScript(const TStringList& element, std::string_view folder, std::string_view movie) {
  TStringList script;
  for (const auto& line : element) script.Add("document.write('" + EscapeForScript(line) + "');");
  std::string path = PathIn(folder, ScriptNameOf(movie));
  SaveLines(path, script);
  return path;
}

TStringList ReadBodyLines(const std::string& textFile) {
  TStringList lines = LoadLines(textFile);
  TStringList body;
  int start = FindLineNoCase(lines, "<body", 0);
  if (start < 0) return body;
  std::string low = CharLowerCase(lines[start]);
  if (CharFind(low, "</body>", CharFind(low, "<body")) != npos) return body;
  for (int i = start + 1; i < lines.Count(); ++i) {
    if (ContainsNoCase(lines[i], "</body>")) break;
    body.Add(lines[i]);
  }
  return body;
}

std::string ConvertFlashObjects(const std::string& page, IMessenger& messenger, std::vector<std::string>* scripts) {
  std::string idFile = JoinPath(AppFolder(), kFlashIdFileName);
  if (!FileExists(idFile)) {
    messenger.ShowMessage(TMessageKind::Information, "FlashID.txtがありません。");
    return {};
  }
  std::string flashId = ReadFlashId(idFile);
  const std::string original = ReadFileBytes(page);
  const TPageLines text = SplitPageLines(original);
  const TStringList& lines = text.lines;
  std::string folder = ExtractFileDir(page);

  // The page is rebuilt into `out` in one pass: elements that cannot be
  // converted (no movie with a text file, no end tag) are copied unchanged.
  // `origin` holds the page line that each line of out came from (-1 for a
  // new one), so that bytes the lines do not show are written back too.
  std::string result;
  TStringList out;
  std::vector<int> origin;
  const auto copy = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      out.Add(lines[i]);
      origin.push_back(i);
    }
  };
  std::string key = CharLowerCase(std::string(kObjectStart) + flashId + "\"");
  int next = 0;
  while (!flashId.empty() && next < lines.Count()) {
    int s = FindLineNoCase(lines, key, next);
    int e = s < 0 ? -1 : FindLineNoCase(lines, kObjectEnd, s);
    if (e < 0) break;
    copy(next, s);
    Movie movie;
    if (FindMovie(lines, s, e, folder, movie)) {
      TStringList element;
      for (int i = s; i <= e; ++i) element.Add(lines[i]);
      result = WriteObjectScript(element, folder, movie.value);
      if (scripts != nullptr) scripts->push_back(result);
      AppendReplacementBlock(out, movie, ReadBodyLines(movie.textFile));
      origin.resize(static_cast<std::size_t>(out.Count()), -1);
    } else {
      copy(s, e + 1);
    }
    next = e + 1;
  }
  copy(next, lines.Count());

  InsertAtTagInLines(out, "</head>", kSharedScriptReference, kPositionBefore);
  const std::string rewritten = JoinPageLines(text, out, origin);
  if (rewritten != original) WriteFileAtomic(page, rewritten);
  return result;
}

}  // namespace tovra
