#include "platform/line_file.h"

#include <algorithm>

#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {

TStringList LoadLines(std::string_view path) {
  TStringList list;
  list.SetText(ReadFileBytes(path));
  return list;
}

bool LoadLinesIfExists(std::string_view path, TStringList& list) {
  if (!FileExists(path)) return false;
  list = LoadLines(path);
  return true;
}

void SaveLines(std::string_view path, const TStringList& list, unsigned mode) {
  WriteFileAtomic(path, list.Text(), mode);
}

TPageLines SplitPageLines(std::string_view bytes) {
  TPageLines page;
  page.lines.SetText(bytes);
  // The same line breaks as SetText, so line i here is line i there.
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view raw = bytes.substr(i, end - i);
    page.hidden.emplace_back(raw.substr(TextOf(raw).size()));
    const std::size_t breakStart = end;
    if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ++end;
    page.breaks.emplace_back(bytes.substr(breakStart, std::min(end + 1, bytes.size()) - breakStart));
    i = end + 1;
  }
  return page;
}

TPageLines LoadPageLines(std::string_view path) { return SplitPageLines(ReadFileBytes(path)); }

std::string JoinPageLines(const TPageLines& page, const TStringList& edited, const std::vector<int>& origin) {
  std::string out;
  // A new line before any kept break takes the page's first one.
  std::string lastBreak = "\r\n";
  for (const auto& own : page.breaks) {
    if (!own.empty()) {
      lastBreak = own;
      break;
    }
  }
  for (int j = 0; j < edited.Count(); ++j) {
    const int from = origin.empty() ? j : origin[static_cast<std::size_t>(j)];
    const bool known = from >= 0 && static_cast<std::size_t>(from) < page.hidden.size();
    out += edited[j];
    if (known) out += page.hidden[static_cast<std::size_t>(from)];
    if (!page.keepBreaks) {
      out += "\r\n";
      continue;
    }
    const std::string& own = known ? page.breaks[static_cast<std::size_t>(from)] : lastBreak;
    if (!own.empty()) lastBreak = own;
    if (!own.empty() || j + 1 < edited.Count()) out += lastBreak;
  }
  return out;
}

}  // namespace tovra
