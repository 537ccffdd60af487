// Page rewriting before upload: edits a page file in place (moves its
// description meta tag to the end of the head and, by option, inserts a popup
// focus script, banners and converts Flash objects), copies the banners'
// support files beside the page and appends what must be sent along to the
// upload list. Runs on the UI thread inside the upload preparation; no state
// between calls, so a page rewritten twice is not changed the second time.
#pragma once

#include <string>

#include "util/messenger.h"
#include "util/string_list.h"
#include "util/text_encodings.h"

namespace tovra {

// The optional steps; the window passes its check boxes, tovra-cli its flags.
struct RewriteOptions {
  bool popup = false;         // focus script before </body>
  bool bottomBanner = false;  // presentedbybottom.js in the head, bottomline() before </body>
  bool topBanner = false;     // banner scripts after <body>, with their movies
  bool flash = false;         // Flash object conversion
  // The site's page encoding setting: what the pages are read and written
  // in (Auto decides page by page); references are read in it too.
  TPageEncoding pageEncoding = TPageEncoding::ShiftJis;
};

// Rewrites the page file: the description step always, then the optional
// steps in the order of RewriteOptions. Appends support files and object
// script files to uploadList (each path once; membership ignores case).
// Every file is written whole through a temporary file, and only when it
// changed. Throws EFileError naming the page or support file that cannot be
// read or written; steps already done stay done.
void RewritePage(const std::string& page, const RewriteOptions& options, TStringList& uploadList,
                 IMessenger& messenger);

// The description step on the lines of a page: every line that begins with
// the description meta tag gives up that tag, which is put in front of
// "</head>". A tag is left on its line when the page has no "</head>" to take
// it, so no tag is ever lost. Returns whether the lines changed.
bool MoveDescriptionTags(TStringList& lines);

}  // namespace tovra
