#include "html/modern_dependencies.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "html/dependencies.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using test::U8;

using Paths = std::vector<std::string>;

class ModernDependenciesTest : public ::testing::Test {
 protected:
  std::string Site(const std::string& rest = "") const { return dir_.Sub("site") + rest; }
  std::string Write(const std::string& name, const std::string& bytes) { return dir_.Write("site/" + name, bytes); }
  void Link(const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(ToOsPath(target).c_str(), ToOsPath(Site(name)).c_str()), 0);
  }
  // The upload list the page gives, and what cannot be sent.
  Paths Collect(const std::string& page, TMissingFiles& missing, const std::string& webUrl = "") {
    TStringList list{page};
    TModernDependencies modern(Site(), TPageEncoding::Auto, webUrl);
    modern.Collect(list, page, missing);
    return list.Items();
  }

  test::TempDir dir_;
};

TEST_F(ModernDependenciesTest, EveryReferenceWrittenTheClassicAndTheModernWay) {
  for (const char* name : {"a.gif", "b.gif", "c.css", "d.png", "e.png", "f.js", "g.png", "h.png"}) {
    Write(std::string("img/") + name, name);
  }
  Write("img/c.css", "p { background: url(g.png) } q { cursor: url('h.png'), auto }");
  const std::string page =
      Write("index.html",
            "<img src='img/a.gif'><img src=img/b.gif>\n"
            "<link href='img/c.css'><link rel=stylesheet href=img/c.css>\n"
            "<td style='background-image:url(img/d.png)'><td style=\"background: url(img/e.png)\">\n"
            "<script src=\"img/f.js\"></script>\n");
  TStringList classic{page};
  CollectDependencies(classic, Site(), page, TPageEncoding::Auto);
  TMissingFiles missing;
  const Paths modern = Collect(page, missing);
  // Everything the browser loads, the style sheet's pictures too; the
  // classic scan takes one reference a tag, only quoted, and reads no sheet.
  EXPECT_EQ(modern, (Paths{page, Site("/img/a.gif"), Site("/img/b.gif"), Site("/img/c.css"), Site("/img/g.png"),
                           Site("/img/h.png"), Site("/img/d.png"), Site("/img/e.png"), Site("/img/f.js")}));
  EXPECT_EQ(classic.Items(),
            (Paths{page, Site("/img/a.gif"), Site("/img/c.css"), Site("/img/d.png"), Site("/img/f.js")}));
  EXPECT_EQ(missing.Count(), 0);
}

TEST_F(ModernDependenciesTest, EachUnsendableFileWithItsReasonAndReferrer) {
  Write("img/logo.gif", "logo");
  const std::string secret = dir_.Write("secret/id_rsa", "key");
  dir_.Write("secret/other", "other");
  Link(dir_.Sub("secret/id_rsa"), "/logo2.gif");
  Link(dir_.Sub("secret"), "/assets");
  Link(Site("/img/logo.gif"), "/inside.gif");  // a link that stays in the site is fine
  Write("css/s.css", "a { background: url(../gone.png) }");
  const std::string page =
      Write("p/index.html", U8(u8"<meta charset=utf-8><img src='../Img/Logo.GIF'><img src='/logo2.gif'>"
                               u8"<img src='/assets/other'><img src='/inside.gif'><img src='/顔😀.png'>"
                               u8"<link rel=stylesheet href=/css/s.css><img src='../../../etc/passwd'>"
                               u8"<img src='/img/'><img src='/img'><a href='./'></a><img src='https://x/y.png'>"
                               u8"<img src='/../up.png'>"));
  TMissingFiles missing;
  EXPECT_EQ(Collect(page, missing), (Paths{page, Site("/inside.gif"), Site("/css/s.css")}));
  std::vector<std::tuple<std::string, TMissingReason, std::string, std::string>> got;
  for (const auto& e : missing.Entries()) got.emplace_back(e.file, e.reason, e.referrer, e.existing);
  const std::string p = Site("/p/index.html");
  EXPECT_EQ(got, (decltype(got){
                     {Site("/Img/Logo.GIF"), TMissingReason::CaseDiffers, p, Site("/img/logo.gif")},
                     {Site("/logo2.gif"), TMissingReason::OutsideSite, p, ""},
                     {Site("/assets/other"), TMissingReason::OutsideSite, p, ""},
                     {Site("/") + Utf8ToCp932(U8(u8"顔")) + "[U+1F600].png", TMissingReason::Unrepresentable, p, ""},
                     {Site("/gone.png"), TMissingReason::NotOnDisk, Site("/css/s.css"), ""},
                     {FoldDotPieces(Site("/p/../../../etc/passwd")), TMissingReason::OutsideSite, p, ""},
                     {dir_.Sub("up.png"), TMissingReason::OutsideSite, p, ""},
                 }));
  EXPECT_EQ(missing.Entries()[0].Line(), Site("/Img/Logo.GIF") + " (大文字小文字が違います: ディスクにあるのは " +
                                             Site("/img/logo.gif") + ")  参照元: " + p);
  EXPECT_EQ(MissingCountsLine(missing),
            "ローカルに無い 1 件、サイト外 4 件、CP932で表せない 1 件、大文字小文字違い 1 件");
}

TEST_F(ModernDependenciesTest, NamesThatDifferInCaseAloneAreThreeFiles) {
  for (const char* name : {"img/a.gif", "IMG/a.gif", "img/A.gif"}) Write(name, name);
  const std::string page = Write("index.html", "<img src='img/a.gif'><img src='IMG/a.gif'><img src='img/A.gif'>");
  TMissingFiles missing;
  EXPECT_EQ(Collect(page, missing), (Paths{page, Site("/img/a.gif"), Site("/IMG/a.gif"), Site("/img/A.gif")}));
  TStringList classic{page};
  CollectDependencies(classic, Site(), page);
  EXPECT_EQ(classic.Items(), (Paths{page, Site("/img/a.gif"), Site("/IMG/a.gif"), Site("/img/A.gif")}));
}

TEST_F(ModernDependenciesTest, DecomposedKanaNamesAreTheirComposedCp932Names) {
  // "か" U+3099 on the disk and in the page, as a copy from another system gives it.
  const std::string decomposed = U8(u8"か\u3099.png");
  // か゛ ハ゜ う゛ ヽ゛ as decomposed UTF-8 bytes, then composed: が パ ゔ ヾ.
  ASSERT_EQ(ComposeVoicedMarks("\xE3\x81\x8B\xE3\x82\x99\xE3\x83\x8F\xE3\x82\x9A\xE3\x81\x86\xE3\x82\x99"
                               "\xE3\x83\xBD\xE3\x82\x99x"),
            "\xE3\x81\x8C\xE3\x83\x91\xE3\x82\x94\xE3\x83\xBEx");
  dir_.Write("site/plain.txt", "");
  {
    std::string os = ToOsPath(Site()) + "/" + decomposed;
    FILE* f = std::fopen(os.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("png", f);
    std::fclose(f);
  }
  const std::string page = Write("index.html", "<meta charset=utf-8><img src='" + decomposed + "'>");
  TMissingFiles missing;
  const std::string composed = Site("/") + Utf8ToCp932(U8(u8"が.png"));
  EXPECT_EQ(Collect(page, missing), (Paths{page, composed}));
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_EQ(ReadFileBytes(composed), "png");
}

}  // namespace
}  // namespace tovra
