// The page's edge: which encoding a page is written in, and the conversion
// between its bytes and the text the rewriting steps work on. A Shift-JIS
// page is that text as it stands. A UTF-8 page is held losslessly: every byte
// of 0x80 and above becomes a double-byte character of the lead bytes F0/F1
// (the user-defined area, which no page text uses), so the character string
// functions step over UTF-8 characters whole, never pair a UTF-8 byte with
// the ASCII byte behind it, and turning the text back gives every untouched
// byte as it was. Names taken from a page (references, movies) leave it as
// CP932 only when CP932 holds them exactly. Stateless; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/line_file.h"
#include "util/string_list.h"
#include "util/text_encodings.h"

namespace tovra {

// The encoding of a page: the setting itself unless it is Auto; for Auto a
// UTF-8 byte order mark, then a charset declared by a meta tag in the head
// (a declaration of UTF-8 counts only when the bytes are valid UTF-8), then
// UTF-8 when the bytes are valid UTF-8 and hold a byte of 0x80 or above;
// otherwise Shift-JIS. Never Auto.
TPageEncoding ResolvePageEncoding(TPageEncoding setting, std::string_view bytes);

// The charset a `<meta charset=...>` or `<meta http-equiv="Content-Type"
// content="...; charset=...">` in the head declares: ShiftJis or Utf8, or
// nothing when there is none or it names neither. The head ends at
// "</head>" or "<body", letter case ignored.
std::optional<TPageEncoding> DeclaredPageEncoding(std::string_view bytes);

// Page bytes <-> page text (see above). ShiftJis: unchanged.
std::string PageBytesToText(std::string_view bytes, TPageEncoding encoding);
std::string PageTextToBytes(std::string_view text, TPageEncoding encoding);

// CP932 text to insert into a page of the encoding, as page text. Throws
// EEncodingError naming the text when it is not CP932.
std::string Cp932ToPageText(std::string_view cp932, TPageEncoding encoding);
// Page text (or, for a UTF-8 page, bytes already turned back) as CP932;
// false when CP932 cannot hold it exactly.
bool PageTextToCp932(std::string_view text, TPageEncoding encoding, std::string& cp932);

// A page file read as lines of page text. A UTF-8 page keeps its own line
// breaks when written back; a Shift-JIS page gets CR LF after every line.
struct TPage {
  TPageLines text;
  TPageEncoding encoding = TPageEncoding::ShiftJis;
};
// Throws EFileError when unreadable.
TPage ReadPage(std::string_view path, TPageEncoding setting);
TPage PageFromBytes(std::string_view bytes, TPageEncoding setting);
// The bytes of the edited lines (see JoinPageLines) in the page's encoding.
std::string PageBytesOf(const TPage& page, const TStringList& edited, const std::vector<int>& origin = {});

}  // namespace tovra
