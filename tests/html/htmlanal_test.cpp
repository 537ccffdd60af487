#include "html/htmlanal.h"

#include <gtest/gtest.h>

#include <random>

#include "literal_links.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using namespace std::string_literals;

std::vector<std::string> LinksOf(std::string_view page) {
  TStringList links;
  ExtractLinksFromText(links, page);
  return links.Items();
}

using Links = std::vector<std::string>;

struct PageCase {
  const char* what;
  std::string page;
  Links expected;
};

void CheckAll(const std::vector<PageCase>& cases) {
  for (const auto& c : cases) EXPECT_EQ(LinksOf(c.page), c.expected) << c.what;
}

TEST(ExtractLinks, AttributesAndQuoting) {
  CheckAll({
      {"quoted src", "<img src='img/a.gif' width=10>", {"img/a.gif"}},
      {"double quotes", "<img src=\"b.gif\">", {"b.gif"}},
      {"capitals: name found, value keeps its case", "<IMG SRC='Pic.GIF'>", {"Pic.GIF"}},
      {"mixed case name", "<a HrEf='Next.html'>", {"Next.html"}},
      {"unquoted value is not taken", "<img src=a.gif>", {}},
      {"blanks around =", "<img src = 'a.gif'>", {"a.gif"}},
      {"tab before src", "<img\tsrc='a.gif'>", {}},
      {"name at line end, src on next line", "<img\nsrc='a.gif'>", {"a.gif"}},
      {"no blank before name", "<img data-src='a.gif'>", {}},
      {"srcset: name found but no = behind it", "<img srcset='a.png 2x'>", {}},
      {"empty value", "<img src=''>", {}},
      {"unclosed quote", "<img src='a.gif>", {}},
      {"quote kinds must match", "<img src='a.gif\">", {}},
      {"background attribute", "<body background=\"bg/wall.jpg\">", {"bg/wall.jpg"}},
      {"tracingsrc attribute", "<body tracingsrc='trace.png'>", {"trace.png"}},
      {"Shift-JIS value kept byte for byte",
       "<img src='\x89\xe6\x91\x9c/\x95\x5c.gif'>",
       {"\x89\xe6\x91\x9c/\x95\x5c.gif"}},
  });
}

TEST(ExtractLinks, FragmentsQueriesAndSchemes) {
  CheckAll({
      {"fragment cut", "<a href='page.htm#sec'>", {"page.htm"}},
      {"fragment only", "<a href='#top'>", {}},
      {"query cut", "<img src='cgi/count.cgi?id=3'>", {"cgi/count.cgi"}},
      {"query then fragment", "<a href='a.htm?x=1#y'>", {"a.htm"}},
      {"fragment then query", "<a href='a.htm#y?x'>", {"a.htm"}},
      {"query only", "<a href='?page=2'>", {}},
      {"http dropped", "<a href='http://example.com/'>", {}},
      {"file dropped", "<a href='file://c/x.gif'>", {}},
      {"mailto dropped", "<a href='mailto:me@example.com'>", {}},
      {"mailto dropped after query cut", "<a href='mailto:me@example.com?subject=x'>", {}},
      {"HTTP in capitals kept", "<a href='HTTP://example.com/'>", {"HTTP://example.com/"}},
      {"https kept", "<a href='https://example.com/a.js'>", {"https://example.com/a.js"}},
      {"javascript kept", "<a href='javascript:void(0)'>", {"javascript:void(0)"}},
  });
}

TEST(ExtractLinks, StylePropertiesAndTheDecidingName) {
  CheckAll({
      {"background-image", "<td style='background-image:url(img/bg.gif)'>", {"img/bg.gif"}},
      {"list-style-image", "<ul style='list-style-image:url(dot.gif)'>", {"dot.gif"}},
      {"property outranks src", "<img src='a.gif' style=\"background-image:url(b.gif)\">", {"b.gif"}},
      {"property before src in the tag still wins",
       "<img style=\"background-image:url(b.gif)\" src='a.gif'>",
       {"b.gif"}},
      {"list-style-image decides, the first parenthesis is read",
       "<li style=\"background-image:url(a.gif);list-style-image:url(b.gif)\">",
       {"a.gif"}},
      {"background outranks src and href", "<x background='bg.gif' src='s.gif' href='h.gif'>", {"bg.gif"}},
      {"href outranks src", "<a src='s.gif' href='h.gif'>", {"h.gif"}},
      {"first occurrence of a name", "<img src='a.gif' src='b.gif'>", {"a.gif"}},
      {"property without closing parenthesis", "<td style='background-image:url(x.gif'>", {}},
      {"no parenthesis at all", "<td style='background-image:none'>", {}},
      // The argument is read as a double-quoted value: quotes inside url()
      // stay part of the reference (apostrophes) or end it (double quotes).
      {"url with apostrophes", "<td style=\"background-image:url('b.gif')\">", {"'b.gif'"}},
      {"url with double quotes", "<td style='background-image:url(\"b.gif\")'>", {}},
      {"winning name gives nothing: no fallback", "<img src='a.gif' href=b.gif>", {}},
  });
}

TEST(ExtractLinks, TagsWherever) {
  CheckAll({
      {"tag in a comment", "<!-- <img src='c.gif'> -->", {"c.gif"}},
      {"tag written by script", "<script>document.write(\"<img src='d.gif'>\");</script>", {"d.gif"}},
      {"same picture twice", "<img src='a.gif'><p><img src='a.gif'>", {"a.gif", "a.gif"}},
      {"document order", "<a href='1.htm'>x</a>\r\n<img src='2.gif'>\r<img src='3.gif'>", {"1.htm", "2.gif", "3.gif"}},
      {"'>' in a quoted value ends the tag", "<img alt='a>b' src='x.gif'>", {}},
      {"'>' as a trail byte does not end the tag", "<img alt='\x83>' src='x.gif'>", {"x.gif"}},
      {"tag over three lines with a blank line", "<img\n\nsrc='a.gif'\n>", {"a.gif"}},
      {"full-width spaces trimmed", "\x81\x40<img src='a.gif'>\x81\x40\n", {"a.gif"}},
  });
}

TEST(ExtractLinks, BadInputNeverHangsOrCrashes) {
  CheckAll({
      {"empty page", "", {}},
      {"no tags", "just text\r\nand more\n", {}},
      {"unclosed tag at the end", "<p>x</p>\n<img src='u.gif'", {"u.gif"}},
      {"unclosed tag over lines", "<img\nsrc='u.gif'\nalt='x'", {"u.gif"}},
      {"lone '<' at the end", "<p><", {}},
      {"lone lead byte at the end", "<img src='a.gif'>\x83", {"a.gif"}},
      {"lone lead byte before the joining blank", "<img alt=\x83\nsrc='a.gif'>", {}},
      {"NUL ends its line only", "<img src='a.gif'>\0<img src='b.gif'>\n<img src='c.gif'>"s, {"a.gif", "c.gif"}},
      // The cut line no longer ends with '>', so it is joined with the next.
      {"NUL inside a tag", "<img src='a\0.gif'>\n<img src='c.gif'>"s, {"a <img src="}},
      {"binary garbage", test::Hex("00 ff 3c 81 3e 0d 0a 3c 20 73 72 63 3d 27 e0"), {}},
      {"only separators", "\r\n\r\n\n\r", {}},
  });
}

TEST(ExtractLinks, MegabyteLinesAndTags) {
  std::string page = "<p>" + std::string(3'000'000, 'x') + "<img src='a.gif'>";
  page += "<img alt='" + std::string(2'000'000, '\x83') + "' src='b.gif'>";
  page += "<td style='background-image:url(c.gif)" + std::string(1'000'000, ' ') + "'>";
  page += "<a href='" + std::string(1'000'000, 'y');  // unclosed tag, unclosed quote
  EXPECT_EQ(LinksOf(page), (Links{"a.gif", "b.gif", "c.gif"}));
}

TEST(ExtractLinks, ReadsThePageFileAndAppends) {
  test::TempDir dir;
  const std::string page = dir.Write("index.html", "<img src='a.gif'>\r\n<a href='b.css'>\r\n");
  TStringList links{"kept"};
  EXPECT_TRUE(ExtractLinks(links, page));
  EXPECT_EQ(links.Items(), (Links{"kept", "a.gif", "b.css"}));
}

TEST(ExtractLinks, UnreadablePageFailsAndAppendsNothing) {
  test::TempDir dir;
  TStringList links{"kept"};
  EXPECT_THROW(ExtractLinks(links, dir.Sub("missing.html")), EFileError);
  EXPECT_THROW(ExtractLinks(links, dir.Path()), EFileError);  // a folder
  EXPECT_EQ(links.Items(), (Links{"kept"}));
}

TEST(TokenizePage, JoinsLinesAndCutsTokens) {
  struct Case {
    std::vector<std::string> lines;
    Links tokens;
  } cases[] = {
      {{"<html>", "<head><title>x", "y</title>", "</head>"},
       {"<html>", "<head>", "<title>", "x y", "</title>", "</head>"}},
      {{"  <b>bold</b> text  ", "<br>"}, {"<b>", "bold", "</b>", " text ", "<br>"}},
      {{"a", "", "<b"}, {"a  ", "<b"}},
      {{"", "x>"}, {" x>"}},
      {{"<a", "href='x'>"}, {"<a href='x'>"}},
      {{"<a>\x83>"}, {"<a>", "\x83>"}},  // ends with a double-byte character, not '>'
      {{}, {}},
  };
  for (const auto& c : cases) {
    TStringList lines;
    for (const auto& line : c.lines) lines.Add(line);
    TStringList tokens{"kept"};
    TokenizePage(lines, tokens);
    Links expected{"kept"};
    expected.insert(expected.end(), c.tokens.begin(), c.tokens.end());
    EXPECT_EQ(tokens.Items(), expected) << (c.lines.empty() ? "" : c.lines[0]);
  }
}

// Line ends are found without walking the line: trailing blanks after runs
// of lead-range bytes must still be read by characters.
TEST(TokenizePage, LineEndsAfterLeadByteRuns) {
  const std::string lines[] = {
      "<a>\x81\x40",
      "<a>\x81\x81\x40",
      "<a>\x81\x81\x81\x40",
      "<a>\x83 ",
      "<a>\x83\x83 ",
      "<a>\x83\x83\x83 \t",
      "\x83>",
      "\x83\x83>",
      "\x83\x83\x83>",
      "x\x81\x40\x81\x40>",
      "\x81\x40\x81\x40",
      "\x83",
      "<b>\x95\x5c \x81\x40 ",
      "\x81\x40<c>\x81",
      "",
      " \t ",
  };
  for (const auto& first : lines) {
    for (const auto& second : lines) {
      TStringList page{first, second, "<end>"};
      TStringList expected, tokens;
      test::LiteralTokenize(page, expected);
      TokenizePage(page, tokens);
      EXPECT_EQ(tokens.Items(), expected.Items()) << first << "|" << second;
    }
  }
}

TEST(ExtractTagLinks, SkipsTextTokensAndAppends) {
  TStringList tokens{"src='no.gif'", "<img src='a.gif'>", " <img src='no.gif'>", "<a href='#x'>", "<img src='b.gif'"};
  TStringList links{"kept"};
  ExtractTagLinks(tokens, links);
  EXPECT_EQ(links.Items(), (Links{"kept", "a.gif", "b.gif"}));
}

// Random pages made of the pieces the scanner cares about, compared with the
// literal model: tokens and links must be the same, byte for byte.
TEST(ExtractLinks, MatchesTheLiteralStepsOnRandomPages) {
  const std::vector<std::string> pieces = {
      "<",
      ">",
      " ",
      "\t",
      "\r\n",
      "\n",
      "\r",
      std::string(1, '\0'),
      "=",
      "'",
      "\"",
      "#",
      "?",
      "(",
      ")",
      "a",
      "x.gif",
      " src",
      " SRC",
      " href",
      " background",
      " tracingsrc",
      "background-image:",
      "List-Style-Image:",
      "url(",
      "http://",
      "file://",
      "mailto:",
      "HTTP://",
      "\x83",
      "\x83\x41",
      "\x95\x5c",
      "\x81\x40",
      "<img src='a.gif'>",
      "<a href=\"b.htm#c\">",
      "./",
      "../",
  };
  std::mt19937 random(20240601);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  for (int round = 0; round < 4000; ++round) {
    std::string page;
    for (int k = length(random); k > 0; --k) page += pieces[pick(random)];
    TStringList lines;
    lines.SetText(page);

    TStringList literalTokens, tokens;
    test::LiteralTokenize(lines, literalTokens);
    TokenizePage(lines, tokens);
    ASSERT_EQ(tokens.Items(), literalTokens.Items()) << page;

    TStringList literalLinks, links, fromTokens;
    test::LiteralExtractTagLinks(literalTokens, literalLinks);
    ExtractTagLinks(tokens, fromTokens);
    ExtractLinksFromText(links, page);
    ASSERT_EQ(fromTokens.Items(), literalLinks.Items()) << page;
    ASSERT_EQ(links.Items(), literalLinks.Items()) << page;
  }
}

}  // namespace
}  // namespace tovra
