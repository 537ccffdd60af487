// Link extraction: the references (src, href, background, tracingsrc
// attributes and the background-image / list-style-image style properties)
// written in a page, exactly as they stand in the page (in the page's own
// encoding: Shift-JIS or UTF-8). A line-and-tag
// scanner, not an HTML parser: anything that looks like a tag is examined,
// wherever it stands, and at most one reference is taken from a tag.
// Stateless; every call may run on any thread. Each call is linear in the
// size of its input, however long the lines are.
#pragma once

#include <string_view>

#include "util/string_list.h"
#include "util/text_encodings.h"

namespace tovra {

// Reads the page file (full local path), tokenises it and appends the
// references of its tag tokens to `links`, in document order, duplicates
// kept. `links` is not cleared. `encoding` is the site's page encoding
// setting (Auto decides by the page, ResolvePageEncoding); the references of
// a UTF-8 page are UTF-8 bytes. Returns true. Throws EFileError when the page
// cannot be read; nothing is appended then.
bool ExtractLinks(TStringList& links, std::string_view pageFile, TPageEncoding encoding = TPageEncoding::ShiftJis);

// The same on page bytes already in memory. Lines end at CR LF, CR or LF; a
// NUL byte ends its line (the rest of that line is dropped). `encoding` is
// ShiftJis or Utf8 (Auto reads as ShiftJis).
void ExtractLinksFromText(TStringList& links, std::string_view pageBytes,
                          TPageEncoding encoding = TPageEncoding::ShiftJis);

// Appends the tokens of the page lines to `tokens`. A line that does not end
// with ">" is joined to the next one with one space; each joined text is cut
// into tag tokens ("<" up to and including the next ">") and text tokens (up
// to the next "<"). An unclosed tag at the end of the page becomes one tag
// token holding the rest of the page.
void TokenizePage(const TStringList& lines, TStringList& tokens);

// Appends to `links` the reference of every tag token that has one.
void ExtractTagLinks(const TStringList& tokens, TStringList& links);

}  // namespace tovra
