#include "html/references.h"

#include <gtest/gtest.h>

#include <map>

#include "html/reference_text.h"
#include "html/tag_scan.h"
#include "platform/encoding.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::U8;

using Paths = std::vector<std::string>;

// The paths a page at /d/page.html gives, its style sheets served from `sheets`.
Paths PathsOf(const std::string& page, const std::map<std::string, std::string>& sheets = {},
              TPageEncoding encoding = TPageEncoding::Utf8, const std::string& webUrl = "") {
  auto fetch = [&](const std::string& path) -> std::optional<std::string> {
    auto it = sheets.find(path);
    if (it == sheets.end()) return std::nullopt;
    return it->second;
  };
  Paths paths;
  for (const auto& r : CollectPageReferences(TPageSource{page, "/d/page.html", encoding, webUrl}, fetch)) {
    paths.push_back(r.outside ? "outside:" + r.path : r.path);
  }
  return paths;
}

TEST(ModernReferences, EachKindOfReference) {
  struct Case {
    const char* page;
    Paths expected;
  } cases[] = {
      {"<img src=a.png>", {"/d/a.png"}},
      {"<img srcset=\"a.png 2x, b.png 3x\" src=\"c.png\">", {"/d/c.png", "/d/a.png", "/d/b.png"}},
      {"<img data-src='l.png' data-srcset='m.png 100w,n.png 200w'>", {"/d/l.png", "/d/m.png", "/d/n.png"}},
      {"<picture><source srcset='p.webp' type='image/webp'><img src='p.jpg'></picture>", {"/d/p.webp", "/d/p.jpg"}},
      {"<video poster=v.jpg src=v.mp4><track src=v.vtt></video><audio src=s.ogg>",
       {"/d/v.jpg", "/d/v.mp4", "/d/v.vtt", "/d/s.ogg"}},
      {"<script src=\"/js/app.js\"></script><embed src=e.swf><object data=o.swf></object>",
       {"/js/app.js", "/d/e.swf", "/d/o.swf"}},
      {"<input type=image src=go.gif><input type=text src=no.gif>", {"/d/go.gif"}},
      {"<iframe src=inner.php></iframe><frame src=f.cgi>", {}},  // frames are pages
      {"<link rel=icon href=i.ico><link rel='shortcut icon' href=s.ico><link rel=apple-touch-icon href=t.png>"
       "<link rel=mask-icon href=m.svg><link rel=manifest href=w.json><link rel=preload href=f.woff2>"
       "<link rel=modulepreload href=m.js><link rel=canonical href=c.png><link rel=next href=n.png>",
       {"/d/i.ico", "/d/s.ico", "/d/t.png", "/d/m.svg", "/d/w.json", "/d/f.woff2", "/d/m.js"}},
      {"<svg><use href='s.svg#a'/><use xlink:href='t.svg#b'/><image href=u.png /><use href='#local'/></svg>",
       {"/d/s.svg", "/d/t.svg", "/d/u.png"}},
      {"<body background=bg.gif><td tracingsrc=t.gif>", {"/d/bg.gif", "/d/t.gif"}},
      {"<a href=big.jpg>x</a><form action=f.cgi>", {}},  // a link is not loaded to show the page
      {"<IMG SRC='Pic.GIF'>", {"/d/Pic.GIF"}},
      {"<img alt='a > b' src='after.png'>", {"/d/after.png"}},  // ">" in a quoted value
      // What a script writes into the page is loaded too; a comment is not.
      {"<!-- <img src=commented.png> --><script><!--\ndocument.write('<img src=\"script.png\">');\n// --></script><img "
       "src=real.png>",
       {"/d/script.png", "/d/real.png"}},
      {"<img src=a.png><img src=./a.png><img src=../d/a.png>", {"/d/a.png"}},  // each path once
      {"<img src='../../up.png'>", {"outside:../../up.png"}},
  };
  for (const auto& c : cases) EXPECT_EQ(PathsOf(c.page), c.expected) << c.page;
}

TEST(ModernReferences, NotFilesFoldersAndPages) {
  struct Case {
    const char* page;
    Paths expected;
  } cases[] = {
      {"<img src='https://x/a.png'><img src='HTTP://x/b.png'><img src='//cdn/c.png'><img "
       "src='data:image/png;base64,AA'>"
       "<script src='javascript:void(0)'></script><img src='tel:123'><img src='ftp://x/d'><img src='x-y.z+1:e'>",
       {}},
      {"<img src='./'><img src='..'><img src='dir/'><img src='.'><img src='../'><img src='#top'><img src='?q'>", {}},
      {"<img src='other.html'><img src='sub/x.htm'><img src='BIG.HTM'>", {"/d/BIG.HTM"}},
      {"<img src='http://Example.COM/~u/img/a.png'><img src='http://example.com/~u2/b.png'>", {"/img/a.png"}},
      {"<img src='img/c.png?v=2#frag'>", {"/d/img/c.png"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathsOf(c.page, {}, TPageEncoding::Utf8, "http://example.com/~u/"), c.expected) << c.page;
  }
}

TEST(ModernReferences, NamesDecodedAsTheBrowserReadsThem) {
  const std::string photo = U8(u8"/写真.jpg");
  struct Case {
    std::string page;
    TPageEncoding encoding;
    Paths expected;
  } cases[] = {
      {"<img src=\"../%E5%86%99%E7%9C%9F.jpg\">", TPageEncoding::Utf8, {photo}},
      {"<img src=\"../&#x5199;&#30495;.jpg\">", TPageEncoding::Utf8, {photo}},
      {"<img src=\"a&amp;b%20c.png\">", TPageEncoding::Utf8, {"/d/a&b c.png"}},
      {"<img src=\"a&ampb.png\">", TPageEncoding::Utf8, {"/d/a&ampb.png"}},  // no ";": as written
      // Escaped bytes that are not UTF-8 are the page's own encoding.
      {"<img src=\"../%8E%CA%90%5E.jpg\">", TPageEncoding::ShiftJis, {photo}},
      {"<img src=\"../" + Utf8ToCp932(U8(u8"写真")) + ".jpg\">", TPageEncoding::ShiftJis, {photo}},
      {"<img src=\"..\\sub\\a.png\">", TPageEncoding::Utf8, {"/sub/a.png"}},
      {"<img src=\"%2E%2E/x%23y.png\">", TPageEncoding::Utf8, {"/x#y.png"}},
  };
  for (const auto& c : cases) EXPECT_EQ(PathsOf(c.page, {}, c.encoding), c.expected) << c.page;
}

TEST(ModernReferences, StyleAttributesBlocksAndSheetsFollowedOnceThroughACycle) {
  const std::map<std::string, std::string> sheets = {
      {"/css/a.css", "@import 'b.css'; body { background: url(\"../img/a.png\") }"},
      {"/css/b.css", "@import url(a.css); /* url(commented.png) */ .x { cursor: url(c\\2e cur), auto }"},
      {"/css/sjis.css", "@charset \"Shift_JIS\";\n.y { background-image: url(" + Utf8ToCp932(U8(u8"画.gif")) + ") }"},
      {"/d/f.css", "@font-face { src: url(f.woff2) format('woff2'), url('f.woff') } .m { mask: url(m.svg#i) }"},
  };
  const std::string page =
      "<link rel=stylesheet href='/css/a.css'><link rel='alternate stylesheet' href=/css/sjis.css>"
      "<style>@import \"f.css\"; li { list-style: url(dot.gif) }</style>"
      "<div style=\"background:#fff url('bg.png') no-repeat; border-image: url(&quot;e.png&quot;)\">";
  EXPECT_EQ(PathsOf(page, sheets),
            (Paths{"/css/a.css", "/css/b.css", "/css/c.cur", "/img/a.png", "/css/sjis.css", U8(u8"/css/画.gif"),
                   "/d/f.css", "/d/f.woff2", "/d/f.woff", "/d/m.svg", "/d/dot.gif", "/d/bg.png", "/d/e.png"}));
}

TEST(ModernReferences, ReferrerIsThePageOrTheStyleSheet) {
  const std::map<std::string, std::string> sheets = {{"/s.css", "a { background: url(x.png) }"}};
  auto fetch = [&](const std::string& path) -> std::optional<std::string> { return sheets.at(path); };
  const auto found = CollectPageReferences(
      TPageSource{"<link rel=stylesheet href=/s.css>", "/d/p.html", TPageEncoding::Auto, ""}, fetch);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0], (TPageReference{"/s.css", "/d/p.html", false, true}));
  EXPECT_EQ(found[1], (TPageReference{"/x.png", "/s.css", false, false}));
}

TEST(ModernReferences, BrokenInputEnds) {
  for (const char* page : {"<img src='never closed", "<img src=", "<", "<!--", "<style>a{background:url(",
                           "<img srcset=',,, ,'>", "<script>", "<a b c d e", "&#xFFFFFFFFFF;<img src=&#0;>"}) {
    EXPECT_NO_FATAL_FAILURE(PathsOf(page)) << page;
  }
  EXPECT_EQ(DecodeCharacterReferences("&#xFFFFFFFFF;&#0;"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  // A server that answers every address with a sheet naming two deeper ones
  // has no end of new sheets: the collection ends all the same.
  auto endless = [](const std::string&) -> std::optional<std::string> {
    return "@import 'x/a.css'; @import 'y/b.css';";
  };
  const auto found = CollectPageReferences(
      TPageSource{"<link rel=stylesheet href=a.css>", "/p.html", TPageEncoding::Utf8, ""}, endless);
  EXPECT_LT(found.size(), 2000u);
}

}  // namespace
}  // namespace tovra
