// libFuzzer target for the page scanner: any bytes as a page. Besides the
// sanitizers' checks it compares the three ways of reading a page (the linear
// scanner on bytes, tokens then tag links, and for small pages the literal
// step-by-step model) and resolves every link found, so a difference or a
// crash in any of them is reported. The page is also read as UTF-8; when its
// bytes are UTF-8 that CP932 holds exactly, the UTF-8 reading must give the
// links of the same page in Shift-JIS. Built by scripts/fuzz.sh.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "html/dependencies.h"
#include "html/htmlanal.h"
#include "literal_links.h"
#include "platform/encoding.h"
#include "util/string_list.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "extract_links_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tovra;
  const std::string_view page(reinterpret_cast<const char*>(data), size);

  TStringList links;
  ExtractLinksFromText(links, page);

  TStringList lines;
  lines.SetText(page);
  TStringList tokens;
  TokenizePage(lines, tokens);
  TStringList fromTokens;
  ExtractTagLinks(tokens, fromTokens);
  if (fromTokens.Items() != links.Items()) Fail("bytes and tokens give different links");

  if (size <= 2048) {
    TStringList literalTokens;
    test::LiteralTokenize(lines, literalTokens);
    if (literalTokens.Items() != tokens.Items()) Fail("tokens differ from the literal steps");
    TStringList literalLinks;
    test::LiteralExtractTagLinks(literalTokens, literalLinks);
    if (literalLinks.Items() != links.Items()) Fail("links differ from the literal steps");
  }

  TStringList utf8Links;
  ExtractLinksFromText(utf8Links, page, TPageEncoding::Utf8);
  std::string cp932;
  if (IsValidUtf8(page) && TryUtf8ToCp932(page, cp932)) {
    TStringList sjisLinks;
    ExtractLinksFromText(sjisLinks, cp932);
    TStringList converted;
    for (const std::string& link : utf8Links) converted.Add(Utf8ToCp932(link));
    if (converted.Items() != sjisLinks.Items()) Fail("the UTF-8 page and its Shift-JIS twin give different links");
  }

  for (const std::string& link : links) {
    if (link.empty()) Fail("empty link");
    ResolveLinkPath(link, "/site", "/site/a/b");
    ResolveLinkPath(link, "/", "/");
    RemotePathOf("/site", link, "/home");
    IsUnderRoot("/site", link);
  }
  return 0;
}
