#include "app/qt_text.h"

#include "platform/encoding.h"
#include "util/errors.h"

namespace tovra {

QString QStr(const std::string& cp932) {
  try {
    return QString::fromStdString(Cp932ToUtf8(cp932));
  } catch (const EEncodingError&) {
    return QString::fromStdString(ToTerminal(cp932));
  }
}

std::string ToCp932(const QString& text) { return Utf8ToCp932(text.toStdString()); }

bool PathToCp932(const QString& path, std::string& cp932) {
  return TryFromOsPath(std::string(path.toLocal8Bit().constData()), cp932);
}

std::string SingleLine(const std::string& cp932) {
  // CR and LF are never the second byte of a CP932 character.
  std::string line;
  line.reserve(cp932.size());
  bool pendingBreak = false;
  for (char c : cp932) {
    if (c == '\r' || c == '\n') {
      pendingBreak = !line.empty();
      continue;
    }
    if (pendingBreak) line += ' ';
    pendingBreak = false;
    line += c;
  }
  return line;
}

}  // namespace tovra
