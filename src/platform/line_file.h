// String lists read from and written to text files by CP932 path, and the
// lines of a page that is edited in place without losing a byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/string_list.h"

namespace tovra {

// Lines separated by CR LF, CR or LF. Throws EFileError when unreadable.
TStringList LoadLines(std::string_view path);
// False (list untouched) when the file does not exist.
bool LoadLinesIfExists(std::string_view path, TStringList& list);
// CR LF after every line; written whole to a temporary file and renamed.
void SaveLines(std::string_view path, const TStringList& list, unsigned mode = 0644);

// A page split into lines exactly as LoadLines splits it, with what those
// lines never show kept beside each: the bytes from a NUL on (a line ends at
// its NUL for every text function), and the line break that ended it. Joined
// back, every line ends in CR LF as SaveLines writes it, or, with keepBreaks,
// in its own break (a new line in the break of the line before it; a line
// that had none gets one only when lines follow it), and no other byte is lost.
struct TPageLines {
  TStringList lines;
  std::vector<std::string> hidden;  // per line: its bytes from the NUL on ("" without one)
  std::vector<std::string> breaks;  // per line: "\r\n", "\r", "\n" or "" (the last line)
  bool keepBreaks = false;
};
TPageLines SplitPageLines(std::string_view bytes);
// Throws EFileError when unreadable.
TPageLines LoadPageLines(std::string_view path);

// The bytes of `edited`, a changed copy of page.lines: line j followed by the
// hidden bytes of the page line origin[j] (line j itself when origin is
// empty; nothing for -1, a new line) and CR LF.
std::string JoinPageLines(const TPageLines& page, const TStringList& edited, const std::vector<int>& origin = {});

}  // namespace tovra
