// Page rewriting of UTF-8 pages: every step makes the same edits as on the
// same page in Shift-JIS, writes them in UTF-8 and leaves every other byte,
// line breaks included, as it was.
#include <gtest/gtest.h>

#include "html/page_encoding.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "support/recording_messenger.h"
#include "support/temp_dir.h"
#include "upload/page_rewriter.h"
#include "util/char_string.h"

namespace tovra {
namespace {

using test::U8;

// A page with Japanese text everywhere a step looks: the description, the
// title (表, ソ and 能 end in 0x5C in Shift-JIS), the body and a Flash movie
// in a Japanese folder.
std::string PageUtf8(const std::string& br) {
  const char8_t* lines[] = {
      u8"<html><head>",
      u8"<META name=\"description\" content=\"写真と表紙の日記\">",
      u8"<title>能ソ表　日記</title></head>",
      u8"<BODY bgcolor=white>",
      u8"<p>あいう　ソ表</p>",
      u8"<object classid=\"clsid:x\" width=1>",
      u8"<param name=\"movie\" value=\"動画/紹介.swf\">",
      u8"<embed src='動画/紹介.swf'>",
      u8"</object>",
      u8"<p>最後の行</p></BODY></html>",
  };
  std::string page;
  for (const char8_t* line : lines) page += U8(line) + br;
  return page;
}

const std::string kTextFileUtf8 = U8(u8"<html><body bgcolor=white>\n<p>動画の説明</p>\n</body></html>\n");

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class RewriteUtf8 : public ::testing::Test {
 protected:
  void SetUp() override {
    app.Write("presentedbybottom.js", "function bottomline() {}\n");
    app.Write("PresentedByV6.swf", "FWS");
    app.Write("loadVariables.swf", "FWS");
    app.Write("presentedbyv6.js", "v6();\n");
    app.Write("historybutton.js", "history();\n");
    app.Write("FlashID.txt", "clsid:x\r\n");
  }

  // Rewrites the page with every step on; returns the upload list with the
  // folder's own path taken out.
  TStringList Rewrite(const test::TempDir& dir, const std::string& page, TPageEncoding encoding) {
    RewriteOptions options{true, true, true, true, encoding};
    TStringList uploads;
    RewritePage(page, options, uploads, messenger);
    TStringList relative;
    for (const auto& path : uploads) relative.Add(path.substr(dir.Path().size()));
    return relative;
  }

  test::TempAppFolder app;
  test::RecordingMessenger messenger;
  const std::string textFile = Utf8ToCp932(U8(u8"動画/紹介_text.html"));
  const std::string scriptFile = Utf8ToCp932(U8(u8"動画/紹介_swf.js"));
};

TEST_F(RewriteUtf8, EveryStepMakesTheShiftJisEditsInUtf8AndKeepsEveryOtherByte) {
  struct Case {
    const char* name;
    std::string br;
    TPageEncoding setting;
    bool textFileInShiftJis;  // the author's text file beside a UTF-8 page
  } cases[] = {
      {"CR LF, auto", "\r\n", TPageEncoding::Auto, false},
      {"LF, auto", "\n", TPageEncoding::Auto, false},
      {"CR, utf-8", "\r", TPageEncoding::Utf8, false},
      {"LF, text file in Shift-JIS", "\n", TPageEncoding::Auto, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir sjis, utf8;
    const std::string sjisPage = sjis.Write("index.html", Utf8ToCp932(PageUtf8("\r\n")));
    sjis.Write(textFile, Utf8ToCp932(kTextFileUtf8));
    const std::string utf8Page = utf8.Write("index.html", PageUtf8(c.br));
    utf8.Write(textFile, c.textFileInShiftJis ? Utf8ToCp932(kTextFileUtf8) : kTextFileUtf8);

    const TStringList sjisUploads = Rewrite(sjis, sjisPage, TPageEncoding::ShiftJis);
    const TStringList utf8Uploads = Rewrite(utf8, utf8Page, c.setting);
    EXPECT_EQ(utf8Uploads, sjisUploads);

    const std::string sjisResult = ReadFileBytes(sjisPage);
    const std::string utf8Result = ReadFileBytes(utf8Page);
    ASSERT_NE(sjisResult, Utf8ToCp932(PageUtf8("\r\n")));  // the steps did change the page
    EXPECT_TRUE(IsValidUtf8(utf8Result));
    EXPECT_EQ(utf8Result, Replace(Cp932ToUtf8(sjisResult), "\r\n", c.br));
    EXPECT_EQ(ReadFileBytes(utf8.Sub(scriptFile)), Cp932ToUtf8(ReadFileBytes(sjis.Sub(scriptFile))));

    // A second run finds everything in place and writes nothing.
    Rewrite(utf8, utf8Page, c.setting);
    EXPECT_EQ(ReadFileBytes(utf8Page), utf8Result);
  }
}

TEST_F(RewriteUtf8, AnUntouchedUtf8PageKeepsItsBytes) {
  test::TempDir dir;
  // A description tag already at the head end, odd line breaks, a byte order
  // mark and no final line break: the description step has nothing to do.
  const std::string bytes = "\xEF\xBB\xBF" + U8(u8"<head>\r\n<p>日記</p>\n\r<META name=\"description\" "
                                                u8"content=\"説明\"></head>\n<body>表</body>");
  const std::string page = dir.Write("a.html", bytes);
  TStringList uploads;
  RewritePage(page, RewriteOptions{false, false, false, false, TPageEncoding::Auto}, uploads, messenger);
  EXPECT_EQ(ReadFileBytes(page), bytes);
  RewritePage(page, RewriteOptions{true, false, false, false, TPageEncoding::Auto}, uploads, messenger);
  EXPECT_EQ(ReadFileBytes(page),
            Replace(bytes, U8(u8"表</body>"), U8(u8"表<SCRIPT LANGUAGE=\"JavaScript\">self.focus();</SCRIPT></body>")));
}

}  // namespace
}  // namespace tovra
