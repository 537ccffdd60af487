// Local paths taken apart at the separator, piece by piece and stepping by
// characters (a double-byte character whose second byte equals the separator
// never splits a name): "." and ".." folding and the one "is this path under
// the root" test of the whole system. Lexical only, no file-system access;
// stateless and thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {

// Whether the byte at i is the separator (and not the second byte of a
// double-byte character; i must start a character).
bool IsSepAt(std::string_view text, std::size_t i);

// Pieces of a path split at the separator. Like a split of a string list: a
// leading separator gives an empty first piece, two adjacent ones an empty
// piece, a trailing one no empty last piece.
std::vector<std::string_view> SplitPieces(std::string_view path);

// Byte offset where the last character of text starts; npos for empty text.
std::size_t LastCharStart(std::string_view text);

// Whether the last character is the separator.
bool EndsWithSep(std::string_view text);

// The site root without trailing separators; the root folder "/" gives "",
// the prefix to which "/" and a relative path are appended.
std::string SiteRootPrefix(std::string_view siteRoot);

// The path with its "." pieces dropped and every ".." taking away the piece
// before it (empty pieces go too). Empty when a ".." would climb above the
// top: the root folder of an absolute path, the first piece of a relative
// one. A path without such pieces comes back unchanged; a trailing separator
// stays.
std::string FoldDotPieces(std::string_view path);

// The rest of `path` behind the root (empty or beginning with the
// separator) when path lies under it; false otherwise. Both are compared
// piece by piece (case-sensitive) after their "." and ".." pieces are folded.
bool PathBelowRoot(std::string_view root, std::string_view path, std::string& rest);

// Whether `path` is the root folder itself or lies below it: "/web" does not
// claim "/web2/a.htm" nor "/web/../etc/a". An empty root (no site root set)
// holds every path; callers that must not claim anything for it test for
// the empty root first.
bool IsUnderRoot(std::string_view root, std::string_view path);

}  // namespace tovra
