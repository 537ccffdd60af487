// The text of one reference as a browser reads it: character references and
// percent-encoding decoded, the fragment and query cut off, a URL scheme or
// the site's own address recognised, and the path resolved against the folder
// of the page or style sheet that holds it. Paths here are URL paths below the
// site root ("/img/a.png"), in UTF-8. Stateless; every function is
// thread-safe and linear in its input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovra {

// "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&nbsp;", "&#N;" and "&#xH;"
// replaced by their characters (as UTF-8); anything else stays as written.
std::string DecodeCharacterReferences(std::string_view text);

// Every run of "%XX" escapes decoded. A run whose bytes are valid UTF-8 is
// kept; otherwise, when the text comes from a Shift-JIS page or style sheet,
// it is read as CP932 and turned into UTF-8 (bytes CP932 cannot read stay as
// they are, and the name is later found unrepresentable).
std::string DecodePercentEscapes(std::string_view text, bool shiftJisSource);

// Text of a Shift-JIS source as UTF-8 (unchanged when it is UTF-8 already or
// cannot be read as CP932).
std::string SourceTextToUtf8(std::string_view text, bool shiftJisSource);

// Whether the reference names something that is not a local file: a URL
// scheme ("https:", "data:", "mailto:", any "name:") or a network path "//".
bool HasUrlScheme(std::string_view reference);

// When the reference begins with the site's own address `webUrl` (scheme
// and host compared without letter case), the site-absolute path it names
// ("/" and the rest behind the address); nothing otherwise or when webUrl
// is empty.
std::optional<std::string> BelowSiteUrl(std::string_view reference, std::string_view webUrl);

// The reference without its fragment ("#...") and query ("?...").
std::string_view WithoutFragmentAndQuery(std::string_view reference);

// What a decoded reference resolves to against `baseFolder` (a URL path
// ending in "/"). `folder`: the reference names a folder ("./", "..",
// "dir/"), which is a link to a page. `outside`: it climbs above the site
// root; `path` is then the reference as written.
struct TResolvedUrl {
  std::string path;
  bool folder = false;
  bool outside = false;
};
TResolvedUrl ResolveUrlPath(std::string_view reference, std::string_view baseFolder);

// The folder part of a URL path, up to and including its last "/".
std::string_view UrlFolderOf(std::string_view path);

// Whether text ends with the ASCII suffix, letter case ignored.
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

}  // namespace tovra
