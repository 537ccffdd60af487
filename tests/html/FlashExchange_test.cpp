#include "html/FlashExchange.h"

#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/recording_messenger.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

constexpr const char* kFlashId = "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000";

using test::Age;
using test::Lines;
using test::RecordingMessenger;
using test::WrittenSinceAged;

// --- Helpers of the conversion ----------------------------------------------------

TEST(FlashExchange, CharPosNoCase) {
  EXPECT_EQ(CharPosNoCase("<OBJECT", "x<object"), 2);
  EXPECT_EQ(CharPosNoCase("<object", "\x83\x41\x83\x41<OBJECT"), 3);  // アア counted as characters
  EXPECT_EQ(CharPosNoCase("a", "\x83\x41"), 0);                       // the trail byte 'A' is no letter
  EXPECT_EQ(CharPosNoCase("</object>", "<object>"), 0);
}

TEST(FlashExchange, RemoveMovieExtension) {
  struct Case {
    std::string movie, expected;
  } cases[] = {
      {"intro.swf", "intro"},
      {"swf/intro.swf", "swf/intro"},
      {"intro", "intro"},
      {"swf.v2/intro", "swf"},  // forward slashes do not bound the extension
      {"a.b\\intro", "a.b\\intro"},
      {"http://host/x.swf", "http://host/x"},
      {"a.b:c", "a.b:c"},
      {"a.b\x95\x5C"
       "c",
       "a"},  // 表 ends in 0x5C, which is no backslash
      {"x.tar.swf", "x.tar"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemoveMovieExtension(c.movie), c.expected) << c.movie;
}

TEST(FlashExchange, ReadBodyLines) {
  struct Case {
    const char* name;
    std::string text;
    TStringList expected;
  } cases[] = {
      {"plain", "<html>\n<body>\nA\nB\n</body>\n</html>\n", {"A", "B"}},
      {"attributes and capitals", "<BODY bgcolor=white>tail\nA\nlead</BODY>\n", {"A"}},
      {"no end line", "<body>\nA\nB", {"A", "B"}},
      {"no body line", "<p>A</p>\n", {}},
      {"body line is the last", "<html>\n<body>", {}},
      {"body ends on its start line", "<body>A</body>\n</html>\n", {}},
      {"empty file", "", {}},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadBodyLines(dir.Write("t.html", c.text)), c.expected);
  }
}

TEST(FlashExchange, ObjectScriptWrapsAndEscapesEveryLine) {
  test::TempDir dir;
  TStringList element{"<object>", "<embed src='a.swf' title=\"\x95\x5C\">", "C:\\x", "</object>"};
  std::string path = WriteObjectScript(element, dir.Path(), "a.swf");
  EXPECT_EQ(path, dir.Sub("a_swf.js"));
  EXPECT_EQ(ReadFileBytes(path),
            "document.write('<object>');\r\n"
            "document.write('<embed src=\\'a.swf\\' title=\"\x95\x5C\">');\r\n"
            "document.write('C:\\\\x');\r\n"
            "document.write('</object>');\r\n");
}

// --- ConvertFlashObjects ------------------------------------------------------------

class FlashConversion : public ::testing::Test {
 protected:
  void SetUp() override { app.Write("FlashID.txt", std::string(kFlashId) + "\r\nignored second line\r\n"); }

  test::TempAppFolder app;
  test::TempDir site;
  RecordingMessenger messenger;
};

const std::string kHead = "<html><head>\r\n<title>\x83\x67\x83\x62\x83\x76</title>\r\n</head>\r\n";  // トップ
const std::string kFiveLineElement =
    "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=\"300\">\r\n"
    "<param name=\"movie\" value=\"intro.swf\">\r\n"
    "<param name=\"quality\" value=\"high\">\r\n"
    "<embed src=\"intro.swf\" quality=\"high\"></embed>\r\n"
    "</object>\r\n";

TEST_F(FlashConversion, FiveLineElementBecomesScriptAndText) {
  site.Write("intro_text.html", "<html><body bgcolor=white>\r\n<p>\x95\x5C\x8e\xa6</p>\r\n</body></html>\r\n");
  std::string page = site.Write("index.html", kHead + "<body>\r\n" + kFiveLineElement + "</body></html>\r\n");
  std::vector<std::string> scripts;
  std::string result = ConvertFlashObjects(page, messenger, &scripts);

  EXPECT_EQ(result, site.Sub("intro_swf.js"));
  EXPECT_EQ(scripts, std::vector<std::string>{result});
  EXPECT_EQ(ReadFileBytes(page),
            "<html><head>\r\n<title>\x83\x67\x83\x62\x83\x76</title>\r\n"
            "<script language=\"JavaScript\" src=\"../oec.js\"></script></head>\r\n"
            "<body>\r\n"
            "<script language=\"JavaScript\" src=\"intro_swf.js\"></script>\r\n"
            "<div class=\"oec\" id=\"intro.swf\">\r\n"
            "<p>\x95\x5C\x8e\xa6</p>\r\n"
            "</div>\r\n"
            "</body></html>\r\n");
  EXPECT_EQ(ReadFileBytes(result),
            "document.write('<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=\"300\">');\r\n"
            "document.write('<param name=\"movie\" value=\"intro.swf\">');\r\n"
            "document.write('<param name=\"quality\" value=\"high\">');\r\n"
            "document.write('<embed src=\"intro.swf\" quality=\"high\"></embed>');\r\n"
            "document.write('</object>');\r\n");
  EXPECT_TRUE(messenger.messages.empty());

  // Converted once, the page has nothing left to convert and keeps its bytes.
  std::string converted = ReadFileBytes(page);
  Age(page);
  EXPECT_EQ(ConvertFlashObjects(page, messenger), "");
  EXPECT_EQ(ReadFileBytes(page), converted);
  EXPECT_FALSE(WrittenSinceAged(page));
}

TEST_F(FlashConversion, BytesAfterANulStayWithTheirLines) {
  const std::string nul("\0", 1);
  site.Write("intro_text.html", "<body>\r\n<p>t</p>\r\n</body>\r\n");
  std::string page = site.Write("nul.html", "<head" + nul + "x>\r\n</head>" + nul + "h\r\n<body>\r\n" +
                                                kFiveLineElement + "</body>" + nul + "\x83\x41\r\n");
  ConvertFlashObjects(page, messenger);
  EXPECT_EQ(ReadFileBytes(page), "<head" + nul +
                                     "x>\r\n<script language=\"JavaScript\" src=\"../oec.js\"></script></head>" + nul +
                                     "h\r\n<body>\r\n<script language=\"JavaScript\" src=\"intro_swf.js\"></script>\r\n"
                                     "<div class=\"oec\" id=\"intro.swf\">\r\n<p>t</p>\r\n</div>\r\n</body>" +
                                     nul + "\x83\x41\r\n");
}

TEST_F(FlashConversion, CapitalsAndSubfolderMovie) {
  app.Write("FlashID.txt", "CLSID:d27cdb6e-ae6d-11CF-96b8-444553540000\r\n");
  site.Write("swf/intro_text.html", "<body>\r\nT\r\n</body>\r\n");
  std::string page = site.Write("index.htm",
                                "<HEAD></HEAD>\n<OBJECT CLASSID=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\">\n"
                                "<PARAM NAME=\"movie\" VALUE=\"swf/intro.swf\"></OBJECT>\n");
  EXPECT_EQ(ConvertFlashObjects(page, messenger), site.Sub("swf/intro_swf.js"));
  EXPECT_TRUE(FileExists(site.Sub("swf/intro_swf.js")));
  EXPECT_EQ(ReadFileBytes(page),
            "<HEAD><script language=\"JavaScript\" src=\"../oec.js\"></script></HEAD>\r\n"
            "<script language=\"JavaScript\" src=\"swf/intro_swf.js\"></script>\r\n"
            "<div class=\"oec\" id=\"swf/intro.swf\">\r\nT\r\n</div>\r\n");
}

TEST_F(FlashConversion, MissingIdentifierListLeavesThePageAlone) {
  DeleteFile(app.Sub("FlashID.txt"));
  site.Write("intro_text.html", "<body>\nT\n</body>\n");
  const std::string original = "<head></head>\n" + kFiveLineElement;
  std::string page = site.Write("index.html", original);
  EXPECT_EQ(ConvertFlashObjects(page, messenger), "");
  EXPECT_EQ(ConvertFlashObjects(page, messenger), "");
  EXPECT_EQ(ReadFileBytes(page), original);
  EXPECT_FALSE(FileExists(site.Sub("intro_swf.js")));
  ASSERT_EQ(messenger.messages.size(), 2u);
  EXPECT_EQ(messenger.messages[0], "FlashID.txtがありません。");
  EXPECT_EQ(messenger.kinds[0], TMessageKind::Information);
}

TEST_F(FlashConversion, EveryElementIsConvertedAndEveryScriptReported) {
  site.Write("a_text.html", "<body>\nA\n</body>\n");
  site.Write("b_text.html", "<body>\nB\n</body>\n");
  std::string element = "<object classid=\"" + std::string(kFlashId) + "\"><param name=\"movie\" value=\"";
  std::string page = site.Write(
      "index.html", "<head></head>\n" + element + "a.swf\"></object>\n<hr>\n" + element + "b.swf\">\n</object>\n");
  std::vector<std::string> scripts;
  EXPECT_EQ(ConvertFlashObjects(page, messenger, &scripts), site.Sub("b_swf.js"));
  EXPECT_EQ(scripts, (std::vector<std::string>{site.Sub("a_swf.js"), site.Sub("b_swf.js")}));
  EXPECT_EQ(ReadFileBytes(page),
            "<head><script language=\"JavaScript\" src=\"../oec.js\"></script></head>\r\n"
            "<script language=\"JavaScript\" src=\"a_swf.js\"></script>\r\n<div class=\"oec\" id=\"a.swf\">\r\nA\r\n"
            "</div>\r\n<hr>\r\n"
            "<script language=\"JavaScript\" src=\"b_swf.js\"></script>\r\n<div class=\"oec\" id=\"b.swf\">\r\nB\r\n"
            "</div>\r\n");
}

// Elements that cannot be converted stay as they are (line ends aside), the
// page still gets the shared reference, and nothing hangs or reads past the end.
TEST_F(FlashConversion, UnconvertibleElementsStayUnchanged) {
  site.Write("intro_text.html", "<body>\nT\n</body>\n");
  const std::string start = "<object classid=\"" + std::string(kFlashId) + "\">\n";
  struct Case {
    const char* name;
    std::string body;
  } cases[] = {
      {"no text file", start + "<param name=\"movie\" value=\"other.swf\">\n</object>\n"},
      {"no end tag", start + "<param name=\"movie\" value=\"intro.swf\">\n"},
      {"no value", start + "<param name=\"movie\">\n</object>\n"},
      {"no closing quote", start + "<param name=\"movie\" value=\"intro.swf\n</object>\n"},
      {"empty value", start + "<param name=\"movie\" value=\"\">\n</object>\n"},
      {"movie after the element", start + "</object>\n<param name=\"movie\" value=\"intro.swf\">\n"},
      {"other class", "<object classid=\"clsid:other\">\n<param name=\"movie\" value=\"intro.swf\">\n</object>\n"},
      {"start tag at the end", "<p>\n" + start},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string page = site.Write("index.html", "<head>\n</head>\n" + c.body);
    EXPECT_EQ(ConvertFlashObjects(page, messenger), "");
    std::string expected = "<head>\n" + std::string(kSharedScriptReference) + "</head>\n" + c.body;
    EXPECT_EQ(ReadFileBytes(page), Lines(expected).Text());
    EXPECT_FALSE(FileExists(site.Sub("intro_swf.js")));
  }
}

TEST_F(FlashConversion, EmptyIdentifierListConvertsNothing) {
  app.Write("FlashID.txt", "");
  site.Write("intro_text.html", "<body>\nT\n</body>\n");
  std::string page = site.Write("index.html",
                                "<head></head>\n<object classid=\"\">\n"
                                "<param name=\"movie\" value=\"intro.swf\">\n</object>\n");
  EXPECT_EQ(ConvertFlashObjects(page, messenger), "");
  EXPECT_TRUE(messenger.messages.empty());
  EXPECT_NE(ReadFileBytes(page).find("<object classid=\"\">"), std::string::npos);
}

TEST_F(FlashConversion, TextFileWithoutBodyGivesAnEmptyBlock) {
  site.Write("intro_text.html", "<p>no body tag</p>\n");
  std::string page = site.Write("index.html", "<object classid=\"" + std::string(kFlashId) +
                                                  "\"><param name=\"movie\" value=\"intro.swf\"></object>\n");
  EXPECT_EQ(ConvertFlashObjects(page, messenger), site.Sub("intro_swf.js"));
  EXPECT_EQ(ReadFileBytes(page),
            "<script language=\"JavaScript\" src=\"intro_swf.js\"></script>\r\n"
            "<div class=\"oec\" id=\"intro.swf\">\r\n</div>\r\n");
}

TEST_F(FlashConversion, UnreadablePageNamesThePath) {
  const std::string page = site.Sub("none.html");
  try {
    ConvertFlashObjects(page, messenger);
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Path(), page);
  }
}

}  // namespace
}  // namespace tovra
