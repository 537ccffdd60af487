#include "html/dependencies.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "html/htmlanal.h"
#include "html/page_encoding.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/path_pieces.h"
#include "util/char_string.h"

namespace tovra {
namespace {

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

std::string ResolveReference(std::string_view reference, std::string_view siteRoot, std::string_view pageFolder) {
  return ResolveLinkPath(ReplaceAll(reference, "/", kPathSepStr), siteRoot, pageFolder);
}

// The UTF-8 references of a page as CP932, in place; the ones CP932 cannot
// hold exactly are taken out and shown in `unrepresentable`.
void ReferencesToCp932(TStringList& references, std::string_view siteRoot, std::string_view pageFolder,
                       TMissingFiles* unrepresentable) {
  TStringList converted;
  for (const std::string& reference : references) {
    std::string cp932;
    if (TryUtf8ToCp932(reference, cp932)) {
      converted.Add(cp932);
      continue;
    }
    const std::string shown = ResolveReference(Utf8ForDisplay(reference), siteRoot, pageFolder);
    const std::string file = shown.empty() ? Utf8ForDisplay(reference) : shown;
    if (unrepresentable != nullptr) unrepresentable->Add(file, TMissingReason::Unrepresentable);
  }
  references = std::move(converted);
}

}  // namespace

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

void CollectDependencies(TStringList& uploadList, std::string_view siteRoot, std::string_view pageFile,
                         TPageEncoding encoding, TMissingFiles* unrepresentable) {
  const std::string bytes = ReadFileBytes(pageFile);
  const TPageEncoding pageEncoding = ResolvePageEncoding(encoding, bytes);
  TStringList references;
  ExtractLinksFromText(references, bytes, pageEncoding);
  const std::string pageFolder = ExtractFileDir(pageFile);
  if (pageEncoding == TPageEncoding::Utf8) ReferencesToCp932(references, siteRoot, pageFolder, unrepresentable);

  // Keys of the list, so that a page with a great many references is not
  // compared against the whole list once per reference. Names that differ in
  // letter case alone are one file only where the file system says so.
  auto key = [](const std::string& path) { return kFileNamesCaseSensitive ? path : CharLowerCase(path); };
  std::unordered_set<std::string> known;
  for (const std::string& entry : uploadList) known.insert(key(entry));

  for (const std::string& reference : references) {
    const std::string path = ResolveReference(reference, siteRoot, pageFolder);
    if (path.empty() || IsPagePath(path)) continue;
    if (!known.insert(key(path)).second) continue;
    uploadList.Add(path);
  }
}

std::string RemotePathOf(std::string_view siteRoot, std::string_view localFolder, std::string_view remoteBase) {
  std::string rest;
  if (!PathBelowRoot(siteRoot, TextOf(localFolder), rest)) return {};
  std::string remote(TextOf(remoteBase));
  remote += ReplaceAll(rest, kPathSepStr, "/");
  // A home folder reported with "." or ".." pieces would let the server's
  // own text lead the upload out of the folder it names.
  if (HasRemoteDotPiece(remote)) return {};
  return remote;
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
