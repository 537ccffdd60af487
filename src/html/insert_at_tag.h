// InsertAtTag: text inserted next to the first occurrence of a tag in a page,
// the one insertion that page rewriting and Flash conversion share. Works on
// the page's lines in memory or on the page file; the file is written back
// only when it changed, keeping every byte the lines do not show. Stateless;
// runs on the thread of its caller.
#pragma once

#include <string>
#include <string_view>

#include "util/string_list.h"
#include "util/text_encodings.h"

namespace tovra {

// The position words of InsertAtTag: immediately before the tag (直前) and
// immediately after the tag's closing '>' (直後).
extern const std::string_view kPositionBefore;
extern const std::string_view kPositionAfter;

// Inserts text next to the first line holding tag, on the lines in memory.
// position is the word for "immediately before the tag" (直前) or
// "immediately after the tag's closing '>'" (直後); any other word changes
// nothing. Nothing happens when a line already contains text (so a second
// run adds nothing twice) or when text is empty. The tag is matched without
// letter case, also with a blank in place of its '>' (a tag with attributes),
// and without its '>' at a line whose next line begins with a blank or TAB
// (attributes continued on the next line). Returns whether lines changed.
bool InsertAtTagInLines(TStringList& lines, std::string_view tag, std::string_view text, std::string_view position);

// The same on a page file read in `encoding` (the site's page encoding
// setting): text (CP932) goes in in the page's own encoding; write the file
// back (whole, through a temporary file) only when it changed. Returns
// whether it was written. Throws EFileError naming the file when it cannot be
// read or written.
bool InsertAtTag(const std::string& file, std::string_view tag, std::string_view text, std::string_view position,
                 TPageEncoding encoding = TPageEncoding::ShiftJis);

}  // namespace tovra
