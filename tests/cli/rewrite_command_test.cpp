// tovra-cli rewrite, run as a user runs it: a real process, a temporary
// application folder, pages on disk, output read back from the terminal.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::CliResult;

class RewriteCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    app.Write("presentedbybottom.js", "function bottomline() {}\n");
    app.Write("PresentedByV6.swf", "FWS");
    app.Write("loadVariables.swf", "FWS");
    app.Write("presentedbyv6.js", "v6();\n");
    app.Write("historybutton.js", "h();\n");
  }

  // Runs tovra-cli rewrite in the site folder with the given arguments.
  CliResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "rewrite");
    return test::RunCli(args, app.Path(), site.Path());
  }

  test::TempDir app, site;
};

const std::string kPage = "<html><head>\r\n</head>\r\n<body>\r\n<p>\x83\x65\x83\x58\x83\x67</p>\r\n</body></html>\r\n";

TEST_F(RewriteCommand, PrintsEachAppendedFileOnce) {
  std::string a = site.Write("a.html", kPage);
  std::string b = site.Write("b.htm", kPage);
  CliResult run = Cli({"--bottom-banner", "--top-banner", a, b});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, site.Sub("presentedbybottom.js") + "\n" + site.Sub("PresentedByV6.swf") + "\n" +
                         site.Sub("loadVariables.swf") + "\n" + site.Sub("presentedbyv6.js") + "\n" +
                         site.Sub("historybutton.js") + "\n");
  for (const auto& page : {a, b}) {
    std::string text = ReadFileBytes(page);
    EXPECT_NE(text.find("src=\"presentedbybottom.js\"></script></head>"), std::string::npos);
    EXPECT_NE(text.find("<body><script language=\"JavaScript\" src=\"presentedbyv6.js\">"), std::string::npos);
    EXPECT_NE(text.find("\x83\x65\x83\x58\x83\x67"), std::string::npos);
  }
}

TEST_F(RewriteCommand, RelativePageKeepsSupportFilesBesideIt) {
  site.Write("index.html", kPage);
  CliResult run = Cli({"--bottom-banner", "index.html"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "presentedbybottom.js\n");
  EXPECT_TRUE(FileExists(site.Sub("presentedbybottom.js")));
}

TEST_F(RewriteCommand, MissingFlashListIsReportedAndThePageUntouched) {
  std::string page = site.Write("index.html", "<head></head>\n<body></body>\n");
  CliResult run = Cli({"--flash", page});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("FlashID.txtがありません。"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes(page), "<head></head>\n<body></body>\n");
}

TEST_F(RewriteCommand, FlashScriptIsPrinted) {
  app.Write("FlashID.txt", "clsid:x\r\n");
  site.Write("swf/m_text.html", "<body>\nT\n</body>\n");
  std::string page = site.Write("index.html",
                                "<head></head>\n<object classid=\"clsid:x\">\n"
                                "<param name=\"movie\" value=\"swf/m.swf\">\n</object>\n");
  CliResult run = Cli({"--flash", page});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, site.Sub("swf/m_swf.js") + "\n");
}

TEST_F(RewriteCommand, FailuresAndMisuse) {
  std::string image = site.Write("logo.png", "\x89PNG\r\n");
  CliResult skipped = Cli({image});
  EXPECT_EQ(skipped.status, 0);
  EXPECT_NE(skipped.err.find("logo.png"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(image), "\x89PNG\r\n");

  std::string missing = site.Sub("none.html");
  CliResult failed = Cli({missing});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find(missing), std::string::npos);

  // A support file missing in the application folder stops the run; what
  // was appended before is still shown.
  DeleteFile(app.Sub("PresentedByV6.swf"));
  CliResult stopped = Cli({"--bottom-banner", "--top-banner", site.Write("p.html", kPage)});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_EQ(stopped.out, site.Sub("presentedbybottom.js") + "\n");
  EXPECT_NE(stopped.err.find(app.Sub("PresentedByV6.swf")), std::string::npos);

  EXPECT_EQ(Cli({}).status, 2);
  EXPECT_EQ(Cli({"--shiny", image}).status, 2);
}

}  // namespace
}  // namespace tovra
