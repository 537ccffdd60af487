// The app's one crossing between the system's CP932 text and QString.
#pragma once

#include <QString>
#include <string>

namespace tovra {

// CP932 -> QString. Bytes without a mapping show as U+FFFD (display only).
QString QStr(const std::string& cp932);
// QString -> CP932. Throws EEncodingError when a character has no CP932 form.
std::string ToCp932(const QString& text);
// A file-system path as Qt gives it (UTF-8 on disk) -> CP932; false when the
// name cannot be represented in CP932.
bool PathToCp932(const QString& path, std::string& cp932);

// The text on one line: every run of CR and LF becomes one blank, and
// line breaks at either end go. For texts that carry a server's reply or a
// socket error into a status line or a message box.
std::string SingleLine(const std::string& cp932);

}  // namespace tovra
