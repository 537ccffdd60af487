// One FTP reply as read from the control connection: its code and its text
// lines. Parsing is pure (no sockets), so the multi-line rules are testable
// on their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "util/string_list.h"

namespace tovra {

struct TIdRFCReply {
  short NumericCode = 0;  // 0 when the code text is not a number
  std::string TextCode;   // normally three digits
  TStringList Text;       // each reply line without its first four characters

  void Clear() { *this = TIdRFCReply(); }
  // The text lines, each followed by CR LF (the message of a refused reply).
  std::string Message() const;
};

// Trimming of reply lines: leading and trailing spaces and control characters.
std::string TrimReplyLine(const std::string& line);

// Whether the trimmed first line opens a multi-line reply.
bool OpensMultiLineReply(const std::string& first);
// Whether a trimmed continuation line ends the multi-line reply opened by first.
bool EndsMultiLineReply(const std::string& first, const std::string& line);

// The name a 257 reply quotes (RFC 959): the text after the first double
// quote up to the next single one, a doubled quote inside standing for one.
// Nothing when the line holds no complete quoted name.
std::optional<std::string> QuotedReplyName(const std::string& line);

// Builds the reply from its trimmed, non-empty lines.
TIdRFCReply ParseReply(const std::vector<std::string>& lines);

}  // namespace tovra
