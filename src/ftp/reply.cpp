#include "ftp/reply.h"

#include <cstddef>

#include "util/number_text.h"
#include "util/string_list.h"

namespace tovra {

std::string TIdRFCReply::Message() const { return Text.Text(); }

std::string TrimReplyLine(const std::string& line) {
  std::size_t begin = 0;
  std::size_t end = line.size();
  while (begin < end && static_cast<unsigned char>(line[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(line[end - 1]) <= ' ') --end;
  return line.substr(begin, end - begin);
}

bool OpensMultiLineReply(const std::string& first) { return first.size() > 3 && first[3] == '-'; }

bool EndsMultiLineReply(const std::string& first, const std::string& line) {
  // A short line ends the reply too: servers that break the format must not
  // make the reader swallow the rest of the conversation.
  if (line.size() < 4) return true;
  return SameTextNoCase(line.substr(0, 4), first.substr(0, 3) + " ");
}

std::optional<std::string> QuotedReplyName(const std::string& line) {
  std::size_t i = line.find('"');
  if (i == std::string::npos) return std::nullopt;
  std::string name;
  // A quote byte is never the trail byte of a CP932 or UTF-8 character.
  for (++i; i < line.size(); ++i) {
    if (line[i] != '"') {
      name += line[i];
    } else if (i + 1 < line.size() && line[i + 1] == '"') {
      name += '"';
      ++i;
    } else {
      return name;
    }
  }
  return std::nullopt;
}

TIdRFCReply ParseReply(const std::vector<std::string>& lines) {
  TIdRFCReply reply;
  if (lines.empty()) return reply;
  std::string code = TrimReplyLine(lines[0].substr(0, 4));
  if (code.size() == 4 && code[3] == '-') code.resize(3);
  reply.TextCode = code;
  auto value = ParseUnsigned(code, 32767);
  reply.NumericCode = value ? static_cast<short>(*value) : 0;
  for (const auto& line : lines) reply.Text.Add(line.size() > 4 ? line.substr(4) : std::string());
  return reply;
}

}  // namespace tovra
