// The banner support files that page rewriting copies from the application
// folder into a page's folder, so that they are uploaded beside the page.
// Stateless; UI thread (inside the upload preparation).
#pragma once

#include <string>
#include <string_view>

namespace tovra {

enum class TCopyMode {
  TextLines,  // read and written as lines: line ends become CR LF, a final one added
  ExactBytes,
};

// Path of `name` in the page folder (a page without a folder part lives in
// the current folder, and so do its support files).
std::string PathInFolder(std::string_view folder, std::string_view name);

// Copies AppFolder()/name to folder/name unless a file of that name is
// already there: an existing file is never overwritten. Returns whether it
// copied. Throws EFileError naming the file that cannot be read (a support
// file missing in the application folder) or written.
bool CopySupportFile(std::string_view folder, std::string_view name, TCopyMode mode);

}  // namespace tovra
