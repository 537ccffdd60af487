#include "platform/path_pieces.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {
namespace {

bool IsDotPiece(std::string_view piece) { return piece == "." || piece == ".."; }

// Whether the path holds a "." or ".." piece anywhere.
bool HasDotPieces(std::string_view path) {
  for (std::string_view piece : SplitPieces(path)) {
    if (IsDotPiece(piece)) return true;
  }
  return false;
}

}  // namespace

bool IsSepAt(std::string_view text, std::size_t i) { return CharBytesAt(text, i) == 1 && text[i] == kPathSep; }

std::vector<std::string_view> SplitPieces(std::string_view path) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < path.size()) {
    if (IsSepAt(path, i)) {
      pieces.push_back(path.substr(start, i - start));
      start = i + 1;
      ++i;
    } else {
      i += CharBytesAt(path, i);
    }
  }
  if (start < path.size()) pieces.push_back(path.substr(start));
  return pieces;
}

std::size_t LastCharStart(std::string_view text) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharBytesAt(text, i)) last = i;
  return last;
}

bool EndsWithSep(std::string_view text) {
  const std::size_t last = LastCharStart(text);
  return last != std::string_view::npos && IsSepAt(text, last);
}

bool PathBelowRoot(std::string_view root, std::string_view path, std::string& rest) {
  const std::string folded = FoldDotPieces(path);
  const std::string base = FoldDotPieces(SiteRootPrefix(root));
  if (folded.empty() || (base.empty() && !SiteRootPrefix(root).empty())) return false;
  const std::vector<std::string_view> basePieces = SplitPieces(base);
  const std::vector<std::string_view> pathPieces = SplitPieces(folded);
  if (basePieces.size() > pathPieces.size()) return false;
  for (std::size_t i = 0; i < basePieces.size(); ++i) {
    if (basePieces[i] != pathPieces[i]) return false;
  }
  // Equal pieces give an equal text prefix that ends at a separator or at
  // the end; the root folder ("" as a prefix) takes absolute paths only.
  rest = folded.substr(std::min(base.size(), folded.size()));
  return rest.empty() || IsSepAt(rest, 0);
}

std::string SiteRootPrefix(std::string_view siteRoot) {
  std::string_view root = TextOf(siteRoot);
  while (EndsWithSep(root)) root.remove_suffix(1);
  return std::string(root);
}

bool IsUnderRoot(std::string_view root, std::string_view path) {
  if (TextOf(root).empty()) return true;
  std::string rest;
  return PathBelowRoot(TextOf(root), TextOf(path), rest);
}

std::string FoldDotPieces(std::string_view path) {
  const std::string_view text = TextOf(path);
  if (!HasDotPieces(text)) return std::string(text);
  const bool absolute = !text.empty() && IsSepAt(text, 0);
  std::vector<std::string_view> kept;
  for (std::string_view piece : SplitPieces(text)) {
    if (piece.empty() || piece == ".") continue;
    if (piece != "..") {
      kept.push_back(piece);
    } else if (kept.empty()) {
      return {};  // above the top: the root folder, or the first piece of a relative path
    } else {
      kept.pop_back();
    }
  }
  std::string out = absolute ? std::string(kPathSepStr) : std::string();
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += kPathSep;
    out += kept[i];
  }
  if (EndsWithSep(text) && !kept.empty()) out += kPathSep;
  return out;
}

}  // namespace tovra
