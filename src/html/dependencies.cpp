#include "html/dependencies.h"

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

// The rest of `path` behind the root prefix when path lies under it (empty
// or beginning with the separator); false otherwise.
bool RestUnderRoot(std::string_view root, std::string_view path, std::string_view& rest) {
  const std::string prefix = SiteRootPrefix(root);
  if (CharCopy(path, 1, CharLength(prefix)) != prefix) return false;
  rest = path.substr(prefix.size());
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
  if (IsSepAt(ref, 0)) return SiteRootPrefix(siteRoot) + std::string(ref);
  if (ref.size() >= 2 && ref[0] == '.' && IsSepAt(ref, 1)) return JoinFolder(TextOf(pageFolder), ref.substr(2));

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
  return result;
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
  std::string_view rest;
  if (!RestUnderRoot(siteRoot, TextOf(localFolder), rest)) return {};
  std::string remote(TextOf(remoteBase));
  remote += ReplaceAll(rest, kPathSepStr, "/");
  return remote;
}

bool IsUnderRoot(std::string_view root, std::string_view path) {
  if (TextOf(root).empty()) return true;
  std::string_view rest;
  return RestUnderRoot(TextOf(root), TextOf(path), rest);
}

}  // namespace tovra
