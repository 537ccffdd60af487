#include "upload/page_rewriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/recording_messenger.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using test::Age;
using test::Lines;
using test::RecordingMessenger;
using test::WrittenSinceAged;

const std::string kDesc = "<META name=\"description\" content=\"\x83\x79\x81\x5B\x83\x57\">";  // ページ
const std::string kDesc2 = "<META name=\"description\" content=\"two\">";

TEST(MoveDescriptionTags, MovesTheTagInFrontOfTheHeadEnd) {
  struct Case {
    const char* name;
    std::string page;
    std::string expected;  // empty: unchanged
  } cases[] = {
      {"own line", "<head>\n" + kDesc + "\n<title>t</title>\n</head>\n",
       "<head>\n\n<title>t</title>\n" + kDesc + "</head>\n"},
      {"other text behind the tag", "<head>\n" + kDesc + "<title>t</title>\n</HEAD>\n",
       "<head>\n<title>t</title>\n" + kDesc + "</HEAD>\n"},
      {"indented by a blank", "<head>\n " + kDesc + "\n</head>\n", ""},
      {"lower-case literal", "<head>\n<meta name=\"description\" content=\"x\">\n</head>\n", ""},
      {"already in place", "<head>\n" + kDesc + "</head>\n", ""},
      {"no closing >", "<head>\n<META name=\"description\" content=\"x\n</head>\n", ""},
      {"no head end: the tag stays", "<html>\n" + kDesc + "\n<body>\n", ""},
      {"several lines keep every tag, in order", kDesc + "\n" + kDesc2 + "\n</head>\n",
       "\n\n" + kDesc + kDesc2 + "</head>\n"},
      {"two tags opening one line", kDesc + kDesc2 + "<title>t</title>\n</head>\n",
       "<title>t</title>\n" + kDesc + kDesc2 + "</head>\n"},
      {"tags already in front of the head end", "<head>\n" + kDesc + kDesc2 + "</head>\n", ""},
      {"a tag with a copy elsewhere stays", kDesc + "\n</head>\n<!-- " + kDesc + " -->\n", ""},
      {"moved behind what was inserted before the head end", kDesc + "<script></script></head>\n",
       "<script></script>" + kDesc + "</head>\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TStringList lines = Lines(c.page);
    EXPECT_EQ(MoveDescriptionTags(lines), !c.expected.empty());
    EXPECT_EQ(lines, Lines(c.expected.empty() ? c.page : c.expected));
  }
}

class Rewrite : public ::testing::Test {
 protected:
  void SetUp() override {
    app.Write("presentedbybottom.js",
              "function bottomline() {}\n// \x83\x6F\x83\x69\x81\x5B");  // バナー, no final line end
    app.Write("PresentedByV6.swf", std::string("FWS\x06\0\r\n\x1a\n", 9));
    app.Write("loadVariables.swf", std::string("FWS\0\n\r", 7));
    app.Write("presentedbyv6.js", "v6();\n");
    app.Write("historybutton.js", "history();\r");
  }

  std::string Page(const std::string& name = "index.html") {
    return site.Write(name,
                      "<html><head>\n" + kDesc + "\n</head>\n<BODY bgcolor=white>\n<p>\x83\x41</p>\n</BODY></html>\n");
  }

  test::TempAppFolder app;
  test::TempDir site;
  RecordingMessenger messenger;
  TStringList uploads;
};

TEST_F(Rewrite, DescriptionOnlyByDefault) {
  std::string page = Page();
  RewritePage(page, {}, uploads, messenger);
  EXPECT_EQ(ReadFileBytes(page), "<html><head>\r\n\r\n" + kDesc +
                                     "</head>\r\n<BODY bgcolor=white>\r\n<p>\x83\x41</p>\r\n</BODY></html>\r\n");
  EXPECT_TRUE(uploads.Empty());
  Age(page);
  RewritePage(page, {}, uploads, messenger);
  EXPECT_FALSE(WrittenSinceAged(page));
}

TEST_F(Rewrite, BytesAfterANulOnALineAreKept) {
  const std::string nul("\0", 1);
  const std::string popup = "<SCRIPT LANGUAGE=\"JavaScript\">self.focus();</SCRIPT>";
  struct Case {
    const char* name;
    std::string page, expected;
  } cases[] = {
      {"NUL on a line the step leaves alone", "<html>\r\n<p>a" + nul + "rest of line</p>\r\n</body>\r\n",
       "<html>\r\n<p>a" + nul + "rest of line</p>\r\n" + popup + "</body>\r\n"},
      {"NUL behind the anchor on its line", "<p></body>" + nul + "\x83\x41" + nul + "tail\r\n",
       "<p>" + popup + "</body>" + nul + "\x83\x41" + nul + "tail\r\n"},
      {"anchor only behind the NUL: nothing to do", "<p>" + nul + "</body>\r\n", ""},
      {"description step with a NUL line", "<head>\r\n" + kDesc + "\r\n" + nul + nul + "\r\n</head></body>\r\n",
       "<head>\r\n\r\n" + nul + nul + "\r\n" + kDesc + "</head>" + popup + "</body>\r\n"},
  };
  RewriteOptions options;
  options.popup = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string page = site.Write("nul.html", c.page);
    RewritePage(page, options, uploads, messenger);
    EXPECT_EQ(ReadFileBytes(page), c.expected.empty() ? c.page : c.expected);
  }
}

TEST_F(Rewrite, ReadOnlyPageIsRefusedAndLinkedPageWrittenThrough) {
  RewriteOptions options;
  options.popup = true;
  const std::string readOnly = Page("ro.html");
  const std::string before = ReadFileBytes(readOnly);
  ASSERT_EQ(::chmod(ToOsPath(readOnly).c_str(), 0444), 0);
  try {
    RewritePage(readOnly, options, uploads, messenger);
    ADD_FAILURE() << "a read-only page was rewritten";
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()), readOnly + " に書き込めません");
  }
  EXPECT_EQ(ReadFileBytes(readOnly), before);

  const std::string target = Page("real.html");
  const std::string link = site.Sub("link.html");
  ASSERT_EQ(::symlink("real.html", ToOsPath(link).c_str()), 0);
  RewritePage(link, options, uploads, messenger);
  struct stat st;
  ASSERT_EQ(::lstat(ToOsPath(link).c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(ReadFileBytes(target).find("self.focus();"), std::string::npos);
}

TEST_F(Rewrite, PopupOnceThenPageNotWrittenAgain) {
  std::string page = Page();
  RewriteOptions popup;
  popup.popup = true;
  RewritePage(page, popup, uploads, messenger);
  const std::string once = ReadFileBytes(page);
  EXPECT_NE(once.find("<p>\x83\x41</p>\r\n<SCRIPT LANGUAGE=\"JavaScript\">self.focus();</SCRIPT></BODY></html>\r\n"),
            std::string::npos);
  Age(page);
  RewritePage(page, popup, uploads, messenger);
  EXPECT_EQ(ReadFileBytes(page), once);
  EXPECT_FALSE(WrittenSinceAged(page));
}

TEST_F(Rewrite, BottomBannerCopiesItsScriptOnceForTheFolder) {
  std::string first = Page("a.html");
  std::string second = Page("b.html");
  RewriteOptions bottom;
  bottom.bottomBanner = true;
  RewritePage(first, bottom, uploads, messenger);
  RewritePage(second, bottom, uploads, messenger);

  EXPECT_EQ(uploads, TStringList{site.Sub("presentedbybottom.js")});
  EXPECT_EQ(ReadFileBytes(site.Sub("presentedbybottom.js")),
            "function bottomline() {}\r\n// \x83\x6F\x83\x69\x81\x5B\r\n");
  EXPECT_EQ(ReadFileBytes(second),
            "<html><head>\r\n\r\n" + kDesc +
                "<script language=\"JavaScript\" src=\"presentedbybottom.js\"></script></head>\r\n"
                "<BODY bgcolor=white>\r\n<p>\x83\x41</p>\r\n"
                "<script language=\"javascript\">bottomline();</script></BODY></html>\r\n");
}

TEST_F(Rewrite, ExistingSupportFileIsNeitherOverwrittenNorListedTwice) {
  site.Write("presentedbybottom.js", "mine\n");
  std::string page = Page();
  uploads.Add(site.Sub("PresentedByBottom.JS"));  // the same path in other letter case
  RewriteOptions bottom;
  bottom.bottomBanner = true;
  RewritePage(page, bottom, uploads, messenger);
  EXPECT_EQ(ReadFileBytes(site.Sub("presentedbybottom.js")), "mine\n");
  EXPECT_EQ(uploads.Count(), 1);
}

TEST_F(Rewrite, TopBannerCopiesMoviesExactlyAndScriptsOnlyWhenMissing) {
  site.Write("presentedbyv6.js", "old();\n");
  std::string page = Page();
  RewriteOptions top;
  top.topBanner = true;
  RewritePage(page, top, uploads, messenger);

  EXPECT_EQ(uploads,
            (TStringList{site.Sub("PresentedByV6.swf"), site.Sub("loadVariables.swf"), site.Sub("historybutton.js")}));
  EXPECT_EQ(ReadFileBytes(site.Sub("PresentedByV6.swf")), std::string("FWS\x06\0\r\n\x1a\n", 9));
  EXPECT_EQ(ReadFileBytes(site.Sub("loadVariables.swf")), std::string("FWS\0\n\r", 7));
  EXPECT_EQ(ReadFileBytes(site.Sub("presentedbyv6.js")), "old();\n");
  EXPECT_EQ(ReadFileBytes(site.Sub("historybutton.js")), "history();\r\n");
  EXPECT_NE(ReadFileBytes(page).find("<BODY bgcolor=white><script language=\"JavaScript\" src=\"presentedbyv6.js\">"
                                     "</script><script language=\"javascript\" src=\"historybutton.js\"></script>\r\n"),
            std::string::npos);

  // A second upload sends the movies again, but not the scripts copied before.
  TStringList again;
  RewritePage(page, top, again, messenger);
  EXPECT_EQ(again, (TStringList{site.Sub("PresentedByV6.swf"), site.Sub("loadVariables.swf")}));
}

TEST_F(Rewrite, FlashScriptIsAddedToTheUploadList) {
  app.Write("FlashID.txt", "clsid:x\r\n");
  site.Write("m_text.html", "<body>\nT\n</body>\n");
  std::string page = site.Write("index.html",
                                "<head></head>\n<object classid=\"clsid:x\">\n"
                                "<param name=\"movie\" value=\"m.swf\">\n</object>\n");
  RewriteOptions flash;
  flash.flash = true;
  RewritePage(page, flash, uploads, messenger);
  EXPECT_EQ(uploads, TStringList{site.Sub("m_swf.js")});

  DeleteFile(app.Sub("FlashID.txt"));
  TStringList none;
  RewritePage(Page("other.html"), flash, none, messenger);
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(messenger.messages, std::vector<std::string>{"FlashID.txtがありません。"});
}

TEST_F(Rewrite, MissingFilesRaiseTheFileErrorNamingThem) {
  DeleteFile(app.Sub("presentedbybottom.js"));
  RewriteOptions bottom;
  bottom.bottomBanner = true;
  std::string page = Page();
  try {
    RewritePage(page, bottom, uploads, messenger);
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Path(), app.Sub("presentedbybottom.js"));
  }
  // The description step done before the failure stays done.
  EXPECT_NE(ReadFileBytes(page).find(kDesc + "</head>"), std::string::npos);

  const std::string missing = site.Sub("none.html");
  try {
    RewritePage(missing, {}, uploads, messenger);
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Path(), missing);
  }
}

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

// Pages stitched at random from the pieces the rewriting looks for, with
// stray lead bytes, NULs and broken tags: every step must end, and repeated
// rewriting with the same options must come to rest.
TEST_F(Rewrite, ArbitraryPagesEndAndSettle) {
  app.Write("FlashID.txt", "clsid:x\r\n");
  site.Write("m_text.html", "<body>\n<p>m</p>\n</body>\n");
  const std::string pieces[] = {"<body",
                                "<BODY bgcolor=white>",
                                "</body>",
                                "</HEAD>",
                                "<object classid=\"clsid:X\">",
                                "<param name=\"movie\" value=\"m.swf\">",
                                "<param name=\"movie\" value=\"",
                                "</object>",
                                kDesc,
                                kDesc2,
                                ">",
                                "\"",
                                "\n",
                                "\r\n",
                                "\r",
                                " ",
                                "\t",
                                "\x83",
                                "\x95\x5C",
                                std::string(1, '\0'),
                                "x"};
  RewriteOptions all{true, true, true, true};
  unsigned seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 120; ++round) {
    std::string text;
    for (unsigned n = next() % 40; n > 0; --n) text += pieces[next() % std::size(pieces)];
    std::string page = site.Write("p.html", text);
    TStringList list;
    // The second run may still move a description tag behind what the first
    // run put in front of the head end; from then on nothing changes.
    RewritePage(page, all, list, messenger);
    RewritePage(page, all, list, messenger);
    std::string settled = ReadFileBytes(page);
    RewritePage(page, all, list, messenger);
    ASSERT_EQ(ReadFileBytes(page), settled) << "round " << round;
  }
}

}  // namespace
}  // namespace tovra
