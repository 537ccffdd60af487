// Dependency collection and path resolution: turns the references of a page
// into absolute local paths below the site root, and relates local folders to
// the site root and to the server's folders.
//
// Paths use kPathSep; the root folder "/" plays the part of a drive. A site
// root that ends with the separator is normalised first (the separator is
// dropped), so "/home/u/site/" and "/home/u/site" mean the same, and the root
// "/" itself works as a site root. Every function keeps no state and runs on
// the thread of its caller; CollectDependencies changes only the list given.
#pragma once

#include <string>
#include <string_view>

#include "html/missing_files.h"
#include "platform/path_pieces.h"  // IsUnderRoot, FoldDotPieces, SiteRootPrefix
#include "util/string_list.h"
#include "util/text_encodings.h"

namespace tovra {

// Appends to `uploadList` the local paths of the files that the page refers
// to, in the order of its references: each reference (slashes turned into the
// path separator) resolved by ResolveLinkPath against `siteRoot` and the
// page's folder. Skipped: references that climb above the top of the page
// folder, paths already in the list (letter case ignored only where the file
// system ignores it, kFileNamesCaseSensitive), and pages (an
// extension of exactly ".htm" or ".html"; PAGE.HTM is collected). Whether a
// path exists is not tested. One level deep: linked pages are not read.
// `pageFile` is the full local path of the page; `encoding` the site's page
// encoding setting. A reference of a UTF-8 page names its file in CP932; one
// that CP932 cannot hold exactly is never added: its path, with such
// characters shown as [U+XXXX], goes to `unrepresentable` (when given) once,
// as Unrepresentable. Throws EFileError when the page cannot
// be read; the lists are unchanged then.
void CollectDependencies(TStringList& uploadList, std::string_view siteRoot, std::string_view pageFile,
                         TPageEncoding encoding = TPageEncoding::ShiftJis, TMissingFiles* unrepresentable = nullptr);

// The local path that a reference (with the path separator) denotes:
//   "/x"   -> site root + "/x" (site-absolute)
//   "./x"  -> page folder + "/x"
//   "a/x", "../a/x" -> the page folder, climbing one folder for every
//            leading "..", then the rest of the reference.
// Empty when the reference climbs above the top of the page folder. After
// that, "." and ".." pieces anywhere are folded (FoldDotPieces), so
// "sub/../img/a.gif" is "img/a.gif" below the page folder and no result ever
// holds such a piece; a result that would climb above the top of the disk is
// empty too. The result may still lie outside the site root (a site-absolute
// "/../x", or a climb past the root): the caller tests that with IsUnderRoot.
// Pieces are split by characters, so a double-byte character whose second
// byte equals the separator never splits a name.
std::string ResolveLinkPath(std::string_view reference, std::string_view siteRoot, std::string_view pageFolder);

// The remote folder for a local folder: `remoteBase` followed by the part of
// `localFolder` behind the site root, with separators turned into "/". The
// transfer run passes the entry's folder followed by one separator and the
// server's home folder, so a file in the site root gives remoteBase + "/".
// Empty when localFolder does not lie under the site root (a case-sensitive
// prefix that ends at a folder boundary, compared piece by piece after "."
// and ".." pieces are folded), or when the result would hold a "." or ".."
// piece (a home folder that names one). Never fails.
std::string RemotePathOf(std::string_view siteRoot, std::string_view localFolder, std::string_view remoteBase);

// Whether a "/"-separated remote path holds a "." or ".." piece.
bool HasRemoteDotPiece(std::string_view remotePath);

}  // namespace tovra
