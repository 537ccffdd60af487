// tovra-cli links / deps, run as a program: what a user sees on the terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::CliResult;

// Runs tovra-cli in `cwd`; links and deps need no application folder.
CliResult RunIn(const std::vector<std::string>& args, const std::string& cwd) { return test::RunCli(args, "", cwd); }

// Expected terminal lines.
std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

std::string Demo() { return test::SourceDir() + "/demo/site"; }

// The UTF-8 corner of the demo: read as its own encoding its references show
// their characters; read as Shift-JIS (the default) they would not.
TEST(CliLinks, PageEncodingOption) {
  struct Case {
    std::vector<std::string> options;
    int status;
    std::string out;
  } cases[] = {
      {{"--page-encoding", "auto"},
       0,
       Lines({"../style.css", "写真/海辺の朝.gif", "写真/灯台ソ表.png", "../index.html"})},
      {{"--page-encoding", "utf-8"},
       0,
       Lines({"../style.css", "写真/海辺の朝.gif", "写真/灯台ソ表.png", "../index.html"})},
      {{"--page-encoding", "euc"}, 1, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"links"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("旅の記録/index.html");
    CliResult r = RunIn(args, Demo());
    EXPECT_EQ(r.status, c.status) << c.options[1] << r.err;
    EXPECT_EQ(r.out, c.out) << c.options[1];
  }
  CliResult shiftJis = RunIn({"links", "旅の記録/index.html"}, Demo());
  EXPECT_NE(shiftJis.out, cases[0].out);
}

// --references modern: what a browser loads, decoded, each once; the page
// encoding is decided by the page unless given; deps reports each file it
// cannot send with its reason and referrer.
TEST(CliLinks, ModernReferences) {
  test::TempDir dir;
  dir.Write("s/img/a.png", "a");
  dir.Write("s/img/logo.gif", "l");
  dir.Write("s/css/x.css", "@import 'y.css'; b { background: url(../img/a.png) }");
  dir.Write("s/css/y.css", "@import 'x.css';");
  dir.Write("s/p/index.html",
            "<meta charset=utf-8><link rel=stylesheet href=../css/x.css><img srcset='../img/a.png 2x' src=../img/a.png>"
            "<img src='../Img/Logo.GIF'><img src='https://x/y.png'><a href='./'></a><img src='../%E5%86%99.png'>");
  const std::string root = dir.Sub("s");
  struct Case {
    std::vector<std::string> args;
    std::string out, err;
  } cases[] = {
      {{"links", "--references", "modern", "--root", "s", "s/p/index.html"},
       Lines({"/css/x.css", "/css/y.css", "/img/a.png", "/Img/Logo.GIF", "/写.png"}),
       ""},
      {{"deps", "--root", "s", "--references", "modern", "s/p/index.html"},
       Lines({root + "/p/index.html", root + "/css/x.css", root + "/css/y.css", root + "/img/a.png"}),
       Lines({root + "/Img/Logo.GIF (大文字小文字が違います: ディスクにあるのは " + root +
                  "/img/logo.gif)  参照元: " + root + "/p/index.html",
              root + "/写.png (ローカルに無い)  参照元: " + root + "/p/index.html"})},
      {{"deps", "--root", "s", "--references", "newest", "s/p/index.html"}, "", ""},
  };
  for (const auto& c : cases) {
    CliResult r = RunIn(c.args, dir.Path());
    EXPECT_EQ(r.status, c.out.empty() ? 1 : 0) << c.args[0] << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[0];
    if (!c.out.empty()) {
      EXPECT_EQ(r.err, c.err) << c.args[0];
    }
  }
}

TEST(CliLinks, DemoPagesInDocumentOrder) {
  CliResult r = RunIn({"links", "index.html", "diary/autumn.html"}, Demo());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Lines({"style.css", "js/menu.js", "img/bg.gif", "img/logo.gif", "img/dot.gif", "profile.html",
                          "diary/index.html", "links.html", "旅の記録/index.html", "/img/banner.png", "img/new.gif",
                          "img/leaf.gif", "cgi/count.cgi", "../style.css", "./diary.css", "写真/表紙.png", "index.html",
                          "/index.html"}));
}

TEST(CliLinks, EdgeCasePage) {
  test::TempDir dir;
  dir.Write("edge.htm",
            "<IMG SRC='Pic.GIF'><img src=a.gif><img src = 'b.gif'><img\r\nsrc='c.gif'><img\tsrc='no.gif'>\r\n"
            "<a href='p.htm#sec'><a href='#top'><img src='cgi/count.cgi?id=3'>\r\n"
            "<a href='http://x.jp/'><a href='file://x'><a href='mailto:a@b'><a href='HTTP://X.JP/'>"
            "<a href='https://x.jp/'>\r\n"
            "<td style='background-image:url(bg.gif)' src='s.gif'><ul style='list-style-image:url(dot.gif)'>\r\n"
            "<!-- <img src='old.gif'> --><img src='b.gif'>\r\n"
            "<img src='\x89\xe6\x91\x9c.gif'>\r\n"
            "<img src='unclosed.gif'");
  CliResult r = RunIn({"links", "edge.htm"}, dir.Path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Lines({"Pic.GIF", "b.gif", "c.gif", "p.htm", "cgi/count.cgi", "HTTP://X.JP/", "https://x.jp/",
                          "bg.gif", "dot.gif", "old.gif", "b.gif", "画像.gif", "unclosed.gif"}));
}

TEST(CliDeps, DemoSelectionGivesTheUploadList) {
  const std::string site = Demo();
  CliResult r = RunIn({"deps", "--root", "demo/site", "demo/site/index.html", "demo/site/diary/autumn.html",
                       "demo/site/style.css", "demo/site/diary/index.html"},
                      test::SourceDir());
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> expected;
  for (const char* path : {"/index.html", "/diary/autumn.html", "/style.css", "/diary/index.html", "/js/menu.js",
                           "/img/bg.gif", "/img/logo.gif", "/img/dot.gif", "/img/banner.png", "/img/new.gif",
                           "/img/leaf.gif", "/cgi/count.cgi", "/diary/diary.css", "/diary/写真/表紙.png"}) {
    expected.push_back(site + path);
  }
  EXPECT_EQ(r.out, Lines(expected));
}

TEST(CliDeps, RootWithTrailingSeparatorAndSiteAbsolutePaths) {
  test::TempDir dir;
  dir.Write("site/a/p.html", "<img src='/i/x.gif'><img src='../../../../../../../../../../../../../../../../y.gif'>");
  CliResult r = RunIn({"deps", "a/p.html", "--root", "./"}, dir.Sub("site"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Lines({dir.Sub("site/a/p.html"), dir.Sub("site/i/x.gif")}));
}

TEST(CliDeps, ReferencesOutOfTheRootAreNamedMarkedButNotListed) {
  test::TempDir dir;
  dir.Write("hostname", "h");
  dir.Write("site/img/a.gif", "a");
  dir.Write("site/a/p.html",
            "<img src='../../hostname'><img src='/../hostname'><img src='sub/../../img/a.gif'>"
            "<img src='./x/../b.gif'>");
  CliResult r = RunIn({"deps", "--root", "site", "site/a/p.html"}, dir.Path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Lines({dir.Sub("site/a/p.html"), dir.Sub("site/img/a.gif"), dir.Sub("site/a/b.gif")}));
  EXPECT_EQ(r.err, Lines({dir.Sub("hostname") + " (サイトの外: 送信しません)"}));
}

TEST(CliLinks, ControlCharactersInReferencesAreEscaped) {
  test::TempDir dir;
  dir.Write("p.html", "<img src='a\x1b]0;t\x07\x1b[2J.gif'><img src='b\x7f\x01.gif'><img src='c\td.gif'>");
  CliResult r = RunIn({"links", "p.html"}, dir.Path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Lines({"a\\x1b]0;t\\x07\\x1b[2J.gif", "b\\x7f\\x01.gif", "c\td.gif"}));
}

TEST(CliCommands, FailuresAndUsage) {
  test::TempDir dir;
  dir.Write("p.html", "<img src='a.gif'>");
  ASSERT_EQ(::mkfifo((dir.Path() + "/pipe.html").c_str(), 0644), 0);  // no writer: open() would wait
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* inErr;  // a text that stderr must hold
  } cases[] = {
      {{"links", "missing.html"}, 1, "missing.html"},
      {{"links", "p.html", "missing.html"}, 1, "missing.html"},
      {{"deps", "--root", ".", "missing.html"}, 1, "missing.html"},
      {{"links", "pipe.html"}, 1, "pipe.html"},
      {{"deps", "--root", ".", "pipe.html"}, 1, "pipe.html"},
      {{"links"}, 2, "usage"},
      {{"links", "--bogus", "p.html"}, 2, "usage"},
      {{"deps", "p.html"}, 2, "--root"},
      {{"deps", "--root"}, 2, "--root"},
      {{"deps", "--root", "."}, 2, "PAGE"},
  };
  for (const auto& c : cases) {
    CliResult r = RunIn(c.args, dir.Path());
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_EQ(r.out, "") << c.args[0];
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
  }
  for (const char* command : {"links", "deps"}) {
    CliResult help = RunIn({command, "--help"}, dir.Path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find(command), std::string::npos);
  }
}

}  // namespace
}  // namespace tovra
