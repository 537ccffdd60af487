// The encodings a site's text may come in: its pages' and its server's file
// names'. The system's own text is CP932 throughout; these say what the
// edges convert to and from. Plain values.
#pragma once

namespace tovra {

// A page's encoding. Auto decides page by page (a byte order mark, a meta
// charset declaration in the head, else whether the bytes are UTF-8).
enum class TPageEncoding { Auto, ShiftJis, Utf8 };

// The encoding of the names the server keeps. Auto is UTF-8 when the server
// announces UTF8 among its features, CP932 otherwise.
enum class TRemoteNameEncoding { Auto, Cp932, Utf8 };

}  // namespace tovra
