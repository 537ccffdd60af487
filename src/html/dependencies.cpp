#include "html/dependencies.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "html/htmlanal.h"
#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {
namespace {

bool IsSepAt(std::string_view text, std::size_t i) { return CharBytesAt(text, i) == 1 && text[i] == kPathSep; }

// Pieces of a path split at the separator, stepping by characters. Like a
// split of a string list: a leading separator gives an empty first piece,
// two adjacent ones an empty piece, a trailing one no empty last piece.
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

// Byte offset where the last character of text starts; npos for empty text.
std::size_t LastCharStart(std::string_view text) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharBytesAt(text, i)) last = i;
  return last;
}

bool EndsWithSep(std::string_view text) {
  const std::size_t last = LastCharStart(text);
  return last != std::string_view::npos && IsSepAt(text, last);
}

// folder + separator + rest; a folder that already ends with the separator
// (the root folder) gets no second one.
std::string JoinFolder(std::string_view folder, std::string_view rest) {
  std::string out(folder);
  if (!EndsWithSep(out)) out += kPathSep;
  out += rest;
  return out;
}

// Whether the last piece of the path has an extension of exactly ".htm" or
// ".html" (case-sensitive).
bool IsPagePath(std::string_view path) {
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += CharBytesAt(path, i)) {
    if (IsSepAt(path, i)) {
      dot = std::string_view::npos;
    } else if (path[i] == '.') {
      dot = i;
    }
  }
  if (dot == std::string_view::npos) return false;
  const std::string_view ext = path.substr(dot);
  return ext == ".htm" || ext == ".html";
}

bool IsDotPiece(std::string_view piece) { return piece == "." || piece == ".."; }

// Whether the path holds a "." or ".." piece anywhere.
bool HasDotPieces(std::string_view path) {
  for (std::string_view piece : SplitPieces(path)) {
    if (IsDotPiece(piece)) return true;
  }
  return false;
}

// The rest of `path` behind the root (empty or beginning with the
// separator) when path lies under it; false otherwise. Both are compared
// piece by piece after their "." and ".." pieces are folded, so a path that
// climbs back out ("/site/../etc") is not under "/site".
bool RestUnderRoot(std::string_view root, std::string_view path, std::string& rest) {
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

}  // namespace

std::string SiteRootPrefix(std::string_view siteRoot) {
  std::string_view root = TextOf(siteRoot);
  while (EndsWithSep(root)) root.remove_suffix(1);
  return std::string(root);
}

std::string ResolveLinkPath(std::string_view reference, std::string_view siteRoot, std::string_view pageFolder) {
  const std::string_view ref = TextOf(reference);
  if (ref.empty()) return {};
  if (IsSepAt(ref, 0)) return FoldDotPieces(SiteRootPrefix(siteRoot) + std::string(ref));
  if (ref.size() >= 2 && ref[0] == '.' && IsSepAt(ref, 1)) {
    return FoldDotPieces(JoinFolder(TextOf(pageFolder), ref.substr(2)));
  }

  const std::vector<std::string_view> pieces = SplitPieces(ref);
  if (pieces.empty()) return {};
  std::size_t up = 0;
  while (up < pieces.size() && pieces[up] == "..") ++up;
  const std::vector<std::string_view> folder = SplitPieces(TextOf(pageFolder));
  const std::size_t n = folder.size();
  if (up > n) return {};

  std::string result;
  bool relative = n == 0;         // a page given without a folder: the result stays relative
  if (n > 0) result = folder[0];  // the top ("" for the root folder) always stays
  for (std::size_t k = 1; k < n - up; ++k) {
    result += kPathSep;
    result += folder[k];
  }
  std::size_t k = 0;
  while (k + 1 < pieces.size() && pieces[k] == "..") ++k;
  for (; k < pieces.size(); ++k) {
    if (!relative) result += kPathSep;
    relative = false;
    result += pieces[k];
  }
  return FoldDotPieces(result);
}

void CollectDependencies(TStringList& uploadList, std::string_view siteRoot, std::string_view pageFile) {
  TStringList references;
  ExtractLinks(references, pageFile);
  const std::string pageFolder = ExtractFileDir(pageFile);

  // Letter-case-free keys of the list, so that a page with a great many
  // references is not compared against the whole list once per reference.
  std::unordered_set<std::string> known;
  for (const std::string& entry : uploadList) known.insert(CharLowerCase(entry));

  for (const std::string& reference : references) {
    const std::string path = ResolveLinkPath(ReplaceAll(reference, "/", kPathSepStr), siteRoot, pageFolder);
    if (path.empty() || IsPagePath(path)) continue;
    if (!known.insert(CharLowerCase(path)).second) continue;
    uploadList.Add(path);
  }
}

std::string RemotePathOf(std::string_view siteRoot, std::string_view localFolder, std::string_view remoteBase) {
  std::string rest;
  if (!RestUnderRoot(siteRoot, TextOf(localFolder), rest)) return {};
  std::string remote(TextOf(remoteBase));
  remote += ReplaceAll(rest, kPathSepStr, "/");
  // A home folder reported with "." or ".." pieces would let the server's
  // own text lead the upload out of the folder it names.
  if (HasRemoteDotPiece(remote)) return {};
  return remote;
}

bool IsUnderRoot(std::string_view root, std::string_view path) {
  if (TextOf(root).empty()) return true;
  std::string rest;
  return RestUnderRoot(TextOf(root), TextOf(path), rest);
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

bool HasRemoteDotPiece(std::string_view remotePath) {
  std::size_t start = 0;
  while (start <= remotePath.size()) {
    std::size_t end = remotePath.find('/', start);
    if (end == std::string_view::npos) end = remotePath.size();
    const std::string_view piece = remotePath.substr(start, end - start);
    if (piece == "." || piece == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace tovra
