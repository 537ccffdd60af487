#include "ftp/remote_names.h"

#include "platform/encoding.h"
#include "util/errors.h"

namespace tovra {

std::string ToServerName(std::string_view cp932, bool utf8Names) {
  if (!HasNameMarks(cp932)) return utf8Names ? Cp932ToUtf8(cp932) : std::string(cp932);
  // A marked name goes out as the disk has it, to a server that keeps UTF-8 names only.
  std::string utf8;
  if (!utf8Names) {
    throw EEncodingError("サーバーのファイル名の文字コード (CP932) で表せない名前です: " + MarkedForDisplay(cp932));
  }
  if (!TryMarkedToUtf8(cp932, utf8)) {
    throw EEncodingError(std::string("文字コードを変換できません: ") + MarkedForDisplay(cp932));
  }
  return utf8;
}

std::string ServerNameToCp932(std::string_view wire, bool utf8Names) {
  if (!utf8Names) return std::string(wire);
  std::string cp932;
  if (!TryUtf8ToCp932(wire, cp932)) {
    throw EEncodingError(std::string("文字コードを変換できません: ") + Utf8ForDisplay(wire));
  }
  return cp932;
}

TStringList ServerLinesToCp932(const TStringList& lines) {
  TStringList out;
  for (const std::string& line : lines) out.Add(Utf8ForDisplay(line));
  return out;
}

}  // namespace tovra
