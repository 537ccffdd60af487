#include "html/FlashExchange.h"

#include "html/page_encoding.h"
#include "platform/app_folder.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {

namespace {

constexpr std::string_view kObjectStart = "<object classid=\"";
constexpr std::string_view kObjectEnd = "</object>";
constexpr std::string_view kMovieParam = "<param name=\"movie\"";
constexpr std::string_view kValueAttr = "value=\"";

// --- Flash conversion ------------------------------------------------------------

std::string PathIn(std::string_view folder, std::string_view name) {
  return folder.empty() ? std::string(name) : JoinPath(folder, name);
}

bool ContainsNoCase(std::string_view line, std::string_view lowerSub) {
  return CharFind(CharLowerCase(line), lowerSub) != std::string_view::npos;
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
  if (CharFind(low, kMovieParam) == std::string_view::npos) return false;
  std::size_t value = CharFind(low, kValueAttr);
  if (value == std::string_view::npos) return false;
  std::size_t start = value + kValueAttr.size();
  std::size_t end = CharFind(line, "\"", start);
  if (end == std::string_view::npos || end == start) return false;
  movie = std::string(line.substr(start, end - start));
  return true;
}

struct Movie {
  std::string value;     // as written in the page
  std::string textFile;  // the author's alternative text beside it
};

// The first movie parameter of lines [s, e] whose text file exists. A movie
// whose name CP932 cannot hold names no file the system can reach.
bool FindMovie(const TStringList& lines, int s, int e, std::string_view folder, TPageEncoding encoding, Movie& found) {
  for (int k = s; k <= e; ++k) {
    std::string movie;
    std::string name;
    if (!MovieOnLine(lines[k], movie) || !PageTextToCp932(movie, encoding, name)) continue;
    std::string textFile = PathIn(folder, RemoveMovieExtension(name) + "_text.html");
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

int CharPosNoCase(std::string_view sub, std::string_view s) { return CharPos(CharLowerCase(sub), CharLowerCase(s)); }

std::string RemoveMovieExtension(std::string_view movie) {
  std::size_t lastDot = std::string_view::npos;
  for (std::size_t i = 0; i < movie.size();) {
    std::size_t n = CharBytesAt(movie, i);
    if (n == 1 && (movie[i] == '\\' || movie[i] == ':')) lastDot = std::string_view::npos;
    if (n == 1 && movie[i] == '.') lastDot = i;
    i += n;
  }
  return std::string(lastDot == std::string_view::npos ? movie : movie.substr(0, lastDot));
}

std::string WriteObjectScript(const TStringList& element, std::string_view folder, std::string_view movie,
                              TPageEncoding encoding) {
  TStringList script;
  for (const auto& line : element) script.Add("document.write('" + EscapeForScript(line) + "');");
  std::string name;
  if (!PageTextToCp932(movie, encoding, name)) {
    throw EEncodingError("文字コードを変換できません: " + Utf8ForDisplay(PageTextToBytes(movie, encoding)));
  }
  std::string path = PathIn(folder, ScriptNameOf(name));
  WriteFileAtomic(path, PageTextToBytes(script.Text(), encoding));
  return path;
}

TStringList ReadBodyLines(const std::string& textFile, TPageEncoding setting, TPageEncoding pageEncoding) {
  // The author's text file may be saved in either encoding beside a page.
  const TPage file = ReadPage(textFile, setting == TPageEncoding::ShiftJis ? setting : TPageEncoding::Auto);
  TStringList lines;
  for (const auto& line : file.text.lines) {
    std::string cp932;
    if (file.encoding == pageEncoding) {
      lines.Add(line);
    } else if (PageTextToCp932(line, file.encoding, cp932)) {
      lines.Add(Cp932ToPageText(cp932, pageEncoding));
    } else {
      throw EEncodingError("文字コードを変換できません: " + Utf8ForDisplay(PageTextToBytes(line, file.encoding)));
    }
  }
  TStringList body;
  int start = FindLineNoCase(lines, "<body", 0);
  if (start < 0) return body;
  std::string low = CharLowerCase(lines[start]);
  if (CharFind(low, "</body>", CharFind(low, "<body")) != std::string_view::npos) return body;
  for (int i = start + 1; i < lines.Count(); ++i) {
    if (ContainsNoCase(lines[i], "</body>")) break;
    body.Add(lines[i]);
  }
  return body;
}

std::string ConvertFlashObjects(const std::string& page, IMessenger& messenger, std::vector<std::string>* scripts,
                                TPageEncoding encoding) {
  std::string idFile = JoinPath(AppFolder(), kFlashIdFileName);
  if (!FileExists(idFile)) {
    messenger.ShowMessage(TMessageKind::Information, "FlashID.txtがありません。");
    return {};
  }
  std::string flashId = ReadFlashId(idFile);
  const std::string original = ReadFileBytes(page);
  const TPage text = PageFromBytes(original, encoding);
  const TStringList& lines = text.text.lines;
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
  std::string key = Cp932ToPageText(CharLowerCase(std::string(kObjectStart) + flashId + "\""), text.encoding);
  int next = 0;
  while (!flashId.empty() && next < lines.Count()) {
    int s = FindLineNoCase(lines, key, next);
    int e = s < 0 ? -1 : FindLineNoCase(lines, kObjectEnd, s);
    if (e < 0) break;
    copy(next, s);
    Movie movie;
    if (FindMovie(lines, s, e, folder, text.encoding, movie)) {
      TStringList element;
      for (int i = s; i <= e; ++i) element.Add(lines[i]);
      result = WriteObjectScript(element, folder, movie.value, text.encoding);
      if (scripts != nullptr) scripts->push_back(result);
      AppendReplacementBlock(out, movie, ReadBodyLines(movie.textFile, encoding, text.encoding));
      origin.resize(static_cast<std::size_t>(out.Count()), -1);
    } else {
      copy(s, e + 1);
    }
    next = e + 1;
  }
  copy(next, lines.Count());

  InsertAtTagInLines(out, "</head>", Cp932ToPageText(kSharedScriptReference, text.encoding), kPositionBefore);
  const std::string rewritten = PageBytesOf(text, out, origin);
  if (rewritten != original) WriteFileAtomic(page, rewritten);
  return result;
}

}  // namespace tovra
