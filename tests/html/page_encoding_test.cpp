#include "html/page_encoding.h"

#include <gtest/gtest.h>

#include "html/dependencies.h"
#include "html/htmlanal.h"
#include "platform/encoding.h"
#include "support/temp_dir.h"
#include "util/char_string.h"

namespace tovra {
namespace {

// UTF-8 text from a u8 literal (plain literals are compiled to CP932).
using test::U8;

TEST(PageEncoding, AutoDecidesByMarkDeclarationThenBytes) {
  const std::string longComment = "<!--" + std::string(2048, 'x') + "-->";
  const std::string sjisText = Utf8ToCp932(U8(u8"<p>写真の表紙</p>"));
  struct Case {
    const char* name;
    std::string page;
    TPageEncoding expected;
  } cases[] = {
      {"byte order mark", "\xEF\xBB\xBF<html><p>a</p>", TPageEncoding::Utf8},
      {"meta charset", "<head><meta charset=\"UTF-8\"></head><p>a</p>", TPageEncoding::Utf8},
      {"meta charset without quotes", "<HEAD><META CHARSET=utf-8>", TPageEncoding::Utf8},
      {"http-equiv form", "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>",
       TPageEncoding::Utf8},
      {"http-equiv Shift_JIS over UTF-8 bytes",
       "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>" + U8(u8"<p>写真</p>"),
       TPageEncoding::ShiftJis},
      // The whole head counts, not only its first kilobyte: pages of the day
      // carry long comments and scripts in front of their meta tags.
      {"meta after 1 KB", "<head>" + longComment + "<meta charset=\"utf-8\"></head>", TPageEncoding::Utf8},
      {"meta in the body does not count", "<head></head><body><meta charset=\"utf-8\">" + sjisText,
       TPageEncoding::ShiftJis},
      // Declared UTF-8 but written in Shift-JIS: read as the bytes are.
      {"mislabelled Shift-JIS", "<head><meta charset=\"utf-8\"></head>" + sjisText, TPageEncoding::ShiftJis},
      {"undeclared UTF-8 text", U8(u8"<p>写真/表紙.png</p>"), TPageEncoding::Utf8},
      {"undeclared Shift-JIS text", sjisText, TPageEncoding::ShiftJis},
      {"plain ASCII", "<img src=\"a.gif\">", TPageEncoding::ShiftJis},
      {"unknown charset falls back to the bytes", "<meta charset=\"euc-jp\">" + U8(u8"写真"), TPageEncoding::Utf8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ResolvePageEncoding(TPageEncoding::Auto, c.page), c.expected);
  }
  // A setting other than auto is taken as it is.
  EXPECT_EQ(ResolvePageEncoding(TPageEncoding::ShiftJis, "\xEF\xBB\xBF"), TPageEncoding::ShiftJis);
  EXPECT_EQ(ResolvePageEncoding(TPageEncoding::Utf8, sjisText), TPageEncoding::Utf8);
}

TEST(PageEncoding, Utf8PageTextTurnsBackByteForByte) {
  const std::string samples[] = {
      U8(u8"<p>写真/表紙.png　能ソ</p>"),
      "\xEF\xBB\xBF\r\n",
      std::string("\x80\xFF\xF0\xF1\x00\xC3", 6),
      "plain ascii",
      U8(u8"😀"),
  };
  for (const auto& bytes : samples) {
    const std::string text = PageBytesToText(bytes, TPageEncoding::Utf8);
    EXPECT_EQ(PageTextToBytes(text, TPageEncoding::Utf8), bytes);
    // The text steps over every UTF-8 byte as part of a character: an ASCII
    // byte is never taken as a second byte.
    for (std::size_t i = 0; i < text.size(); i += CharBytesAt(text, i)) {
      if (static_cast<unsigned char>(text[i]) < 0x80) continue;
      EXPECT_EQ(CharBytesAt(text, i), 2u);
      EXPECT_GE(static_cast<unsigned char>(text[i + 1]), 0x80);
    }
  }
}

TEST(PageEncoding, NamesLeaveAsCp932OnlyWhenHeldExactly) {
  struct Case {
    std::string utf8;
    bool held;
    std::string shown;
  } cases[] = {
      {U8(u8"写真/表紙.png"), true, Utf8ToCp932(U8(u8"写真/表紙.png"))},
      {U8(u8"a😀.png"), false, "a[U+1F600].png"},
      // CP932 turns this wave dash into the full-width tilde: a different name.
      {U8(u8"x〜.gif"), false, "x[U+301C].gif"},
      {"bad\xC3.gif", false, "bad[C3].gif"},
  };
  for (const auto& c : cases) {
    std::string cp932;
    EXPECT_EQ(PageTextToCp932(PageBytesToText(c.utf8, TPageEncoding::Utf8), TPageEncoding::Utf8, cp932), c.held)
        << c.shown;
    if (c.held) {
      EXPECT_EQ(cp932, c.shown);
    }
    EXPECT_EQ(Utf8ForDisplay(c.utf8), c.shown);
  }
}

// The same page written in both encodings gives the same references: the
// UTF-8 ones, turned into CP932, equal the Shift-JIS ones.
TEST(ExtractLinksUtf8, SameReferencesAsTheShiftJisPage) {
  const std::string pages[] = {
      U8(u8"<img src=\"写真/表紙.png\"><a href='能/ソース.html#上'>あ</a>"),
      // あ is E3 81 82: in Shift-JIS eyes 82 would swallow the quote behind it.
      U8(u8"<a href=\"あ\"><img src=\"い\"></a>"),
      // A tag broken over lines, with full-width spaces around the lines.
      U8(u8"　<img\r\n　src=\"表/き.gif\"　\r\n>　\n<td style=\"background-image:url(背景.png)\">"),
      U8(u8"<p>本文の中の<b>強調</b>と<img SRC='画像?x=表'>。\n<!-- <img src=\"注釈.gif\"> -->"),
  };
  for (const auto& utf8 : pages) {
    SCOPED_TRACE(utf8);
    TStringList fromUtf8, fromSjis;
    ExtractLinksFromText(fromUtf8, utf8, TPageEncoding::Utf8);
    ExtractLinksFromText(fromSjis, Utf8ToCp932(utf8), TPageEncoding::ShiftJis);
    ASSERT_GT(fromSjis.Count(), 0);
    TStringList converted;
    for (const auto& link : fromUtf8) converted.Add(Utf8ToCp932(link));
    EXPECT_EQ(converted, fromSjis);
  }
}

TEST(ExtractLinksUtf8, ReadingUtf8AsShiftJisWouldLoseTheReference) {
  // The fault this guards against: the last byte of あ (82) read as a lead
  // byte takes the closing quote along.
  TStringList asSjis, asUtf8;
  const std::string page = U8(u8"<img src=\"あ\" alt=\"b\">");
  ExtractLinksFromText(asSjis, page, TPageEncoding::ShiftJis);
  ExtractLinksFromText(asUtf8, page, TPageEncoding::Utf8);
  ASSERT_EQ(asUtf8.Count(), 1);
  EXPECT_EQ(asUtf8[0], U8(u8"あ"));
  EXPECT_FALSE(asSjis.Count() == 1 && asSjis[0] == U8(u8"あ"));
}

TEST(CollectDependenciesUtf8, NamesInCp932AndUnrepresentableOnesReported) {
  test::TempDir dir;
  const std::string page = dir.Write("site/index.html", U8(u8"<meta charset=\"utf-8\">\n"
                                                           u8"<img src=\"写真/表紙.png\">\n"
                                                           u8"<img src=\"写真/顔😀.png\">\n"
                                                           u8"<img src=\"写真/顔😀.png\">\n"
                                                           u8"<img src=\"ソ.gif\">\n"));
  const std::string root = dir.Sub("site");
  TStringList list;
  TMissingFiles unrepresentable;
  CollectDependencies(list, root, page, TPageEncoding::Auto, &unrepresentable);
  TStringList expected;
  expected.Add(root + "/" + Utf8ToCp932(U8(u8"写真/表紙.png")));
  expected.Add(root + "/" + Utf8ToCp932(U8(u8"ソ.gif")));
  EXPECT_EQ(list, expected);
  ASSERT_EQ(unrepresentable.Count(), 1);
  EXPECT_EQ(unrepresentable.Lines()[0],
            root + "/" + Utf8ToCp932(U8(u8"写真/顔")) + "[U+1F600].png" + kUnrepresentableMark);

  // Read as Shift-JIS (the setting absent), the same page names other files.
  TStringList asSjis;
  CollectDependencies(asSjis, root, page);
  EXPECT_FALSE(asSjis.Contains(expected[0]));
}

}  // namespace
}  // namespace tovra
