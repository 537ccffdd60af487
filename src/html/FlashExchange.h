// Flash object conversion: a page's Flash `object` elements move into small
// script files that write them back with document.write, and the page shows
// the author's alternative text (the movie's "_text.html") in a div of class
// oec instead. Runs on the UI thread inside the upload preparation; no state
// between calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "html/insert_at_tag.h"
#include "util/messenger.h"
#include "util/string_list.h"
#include "util/text_encodings.h"

namespace tovra {

// --- Flash conversion ---------------------------------------------------------

// The list of Flash class identifiers in the application folder; only its
// first line is used.
inline constexpr std::string_view kFlashIdFileName = "FlashID.txt";
// The script every converted page refers to, one folder above the page.
inline constexpr std::string_view kSharedScriptReference =
    "<script language=\"JavaScript\" src=\"../oec.js\"></script>";

// The character position (1-based) of sub in s ignoring the case of
// single-byte letters; 0 when absent.
int CharPosNoCase(std::string_view sub, std::string_view s);

// The movie value without its extension: the text from the last dot that
// comes after the last '\' or ':' is removed. Forward slashes are URL
// separators inside the page, not folders of this rule ("swf/intro.swf" ->
// "swf/intro"). A movie without such a dot stays whole.
std::string RemoveMovieExtension(std::string_view movie);

// Writes the object script file for the element lines of the movie: the file
// folder + separator + movie without extension + "_swf.js", one
// "document.write('...');" line per element line. The lines and the movie are
// page text of a page in `encoding` (never Auto), and the script is written
// in that encoding. Returns the file's path. Throws EEncodingError when the
// movie names a file CP932 cannot hold.
std::string WriteObjectScript(const TStringList& element, std::string_view folder, std::string_view movie,
                              TPageEncoding encoding = TPageEncoding::ShiftJis);

// The lines of a movie text file between its body start tag line and its
// body end tag line (both excluded, letter case ignored); to the end of the
// file when no end line follows; none when there is no body start line or
// when the body ends on the start line itself. The lines come as page text
// of a page in pageEncoding (never Auto): the file is read in `setting` (for
// Auto and UTF-8 pages: by its own bytes) and converted when it differs.
// Throws EEncodingError when a line cannot be converted exactly.
TStringList ReadBodyLines(const std::string& textFile, TPageEncoding setting = TPageEncoding::ShiftJis,
                          TPageEncoding pageEncoding = TPageEncoding::ShiftJis);

// Converts every Flash element of the page (rewriting the page in place) and
// gives it the shared script reference. Returns the path of the last object
// script file written, empty when none. When scripts is given, every script
// file written is appended to it in page order. When the Flash identifier
// list is missing, tells the user through messenger and leaves the page
// untouched. The page is read and written in `encoding` (the site's page
// encoding setting); what goes in is written in the page's own encoding.
// Throws EFileError naming the file that cannot be read or written.
std::string ConvertFlashObjects(const std::string& page, IMessenger& messenger,
                                std::vector<std::string>* scripts = nullptr,
                                TPageEncoding encoding = TPageEncoding::ShiftJis);

}  // namespace tovra
