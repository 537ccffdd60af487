// Conversion between CP932, the system's text encoding, and the encodings of
// the outside world: the OS file-name encoding (the locale's codeset, UTF-8
// on a normal Linux desktop), UTF-8 for the toolkit, and the terminal's.
// Uses glibc iconv with "CP932" (never "SHIFT_JIS", which maps 0x5C to the
// yen sign). Thread-safe: every call opens its own conversion descriptor.
#pragma once

#include <string>
#include <string_view>

namespace tovra {

// Throws EEncodingError naming `text` when a byte sequence has no mapping.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

// Report failure instead of throwing. A conversion counts only when it
// round-trips: UTF-8 text that CP932 holds only approximately (a character
// that comes back as a different one) fails, so a name is never changed by
// passing through the system's CP932 text.
bool TryUtf8ToCp932(std::string_view utf8, std::string& cp932);
bool TryCp932ToUtf8(std::string_view cp932, std::string& utf8);

bool IsValidUtf8(std::string_view bytes);

// UTF-8 text with every kana followed by a combining voiced or semi-voiced
// sound mark (U+3099, U+309A; the decomposed form that some systems give
// file names) composed into its one character: "か" U+3099 becomes "が".
// Other text is unchanged.
std::string ComposeVoicedMarks(std::string_view utf8);

// UTF-8 text as CP932 for showing: every character CP932 cannot hold
// exactly is written as [U+XXXX], an invalid byte as [XX].
std::string Utf8ForDisplay(std::string_view utf8);

// File names: CP932 <-> the OS encoding. The error names the file.
std::string ToOsPath(std::string_view cp932Path);
std::string FromOsPath(std::string_view osPath);
// Like FromOsPath but reports failure instead of throwing (directory walks
// pass over names that cannot be represented in CP932). A name counts only
// when it comes back the same: "〜" (U+301C) becomes CP932's wave dash,
// which names "～" (U+FF5E), another file.
bool TryFromOsPath(std::string_view osPath, std::string& cp932Path);

// Marked names: a UTF-8 disk holds names that CP932 cannot (café.html,
// 〜.png). Where the system carries such a name (the publish walk), each
// character CP932 cannot hold exactly is written as the byte 0xFF followed
// by "[U+XXXX]". No CP932 text holds 0xFF, so a marked name never equals a
// name CP932 holds, and the conversions that know nothing of marks refuse
// it as before. ToOsPath and the conversion to UTF-8 server names undo the
// marks; ToTerminal shows the characters where the terminal is UTF-8, and
// "[U+XXXX]" elsewhere.
inline constexpr char kNameMark = '\xFF';
inline bool HasNameMarks(std::string_view text) { return text.find(kNameMark) != std::string_view::npos; }
// Like TryFromOsPath, but a name CP932 cannot hold comes back marked. False
// only when the disk's names are not UTF-8 or the name is not valid UTF-8.
bool TryFromOsPathMarked(std::string_view osPath, std::string& cp932Path);
// CP932 text, marks included, as UTF-8. False when it is neither CP932 nor
// well-formed marks.
bool TryMarkedToUtf8(std::string_view marked, std::string& utf8);
// The marks shown as "[U+XXXX]" (the 0xFF bytes left out); other text as is.
std::string MarkedForDisplay(std::string_view marked);

// Text for the terminal (stdout/stderr): CP932 -> the locale's codeset.
// Bytes that cannot be converted are shown as '?' (display only).
std::string ToTerminal(std::string_view cp932);
// Text typed at the terminal -> CP932 (command-line arguments, answers).
std::string FromTerminal(std::string_view text);

}  // namespace tovra
