#include "ftp/remote_names.h"

#include "platform/encoding.h"
#include "util/errors.h"

namespace tovra {

bool FeaturesListUtf8(const TIdRFCReply& featReply) {
  if (featReply.NumericCode != 211) return false;
  // The first and the last line carry the code; the features stand between.
  for (int i = 1; i + 1 < featReply.Lines.Count(); ++i) {
    const std::string_view feature = featReply.Lines[i];
    if (feature.size() == 4 && (feature[0] | 0x20) == 'u' && (feature[1] | 0x20) == 't' && (feature[2] | 0x20) == 'f' &&
        feature[3] == '8')
      return true;
  }
  return false;
}

std::string ToServerName(std::string_view cp932, bool utf8Names) {
  if (!utf8Names) return std::string(cp932);
  return Cp932ToUtf8(cp932);
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
