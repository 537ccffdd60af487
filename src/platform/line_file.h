// String lists read from and written to text files by CP932 path.
#pragma once

#include <string_view>

#include "util/string_list.h"

namespace tovra {

// Lines separated by CR LF, CR or LF. Throws EFileError when unreadable.
TStringList LoadLines(std::string_view path);
// False (list untouched) when the file does not exist.
bool LoadLinesIfExists(std::string_view path, TStringList& list);
// CR LF after every line; written whole to a temporary file and renamed.
void SaveLines(std::string_view path, const TStringList& list, unsigned mode = 0644);

}  // namespace tovra
