#include "html/dependencies.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using Paths = std::vector<std::string>;

TEST(ResolveLinkPath, RelativeClimbingAndSiteAbsolute) {
  struct Case {
    const char* reference;
    const char* root;
    const char* folder;
    std::string expected;
  } cases[] = {
      {"img/x.gif", "/site", "/site/a", "/site/a/img/x.gif"},
      {"../img/x.gif", "/site", "/site/a", "/site/img/x.gif"},
      {"/img/x.gif", "/site", "/site/a", "/site/img/x.gif"},
      {"./x.gif", "/site", "/site/a", "/site/a/x.gif"},
      // "/" plays the drive: from /site, one climb past the top stays at "/",
      // a second one leaves the disk.
      {"../x.gif", "/site", "/site", "/x.gif"},
      {"../../x.gif", "/site", "/site", "/x.gif"},
      {"../../../x.gif", "/site", "/site", ""},
      {"../x.gif", "/", "/", "/x.gif"},
      {"../../x.gif", "/", "/", ""},
      // "." and ".." pieces anywhere are folded after the leading climb.
      {"sub/../img/a.gif", "/site", "/site/a", "/site/a/img/a.gif"},
      {"a/./b.gif", "/site", "/site/a", "/site/a/a/b.gif"},
      {"../../a/../b.gif", "/site", "/site/a/b", "/site/b.gif"},
      {"./x/../../y.gif", "/site", "/site/a", "/site/y.gif"},
      {"img/x/../../../../../../../../../../etc/hostname", "/site", "/site/a", ""},
      {"/../../etc/hostname", "/site/www", "/site/www/a", "/etc/hostname"},
      {"/img/./x/../y.gif", "/site", "/site/a", "/site/img/y.gif"},
      {"img//x.gif", "/site", "/site/a", "/site/a/img//x.gif"},
      {"img/", "/site", "/site/a", "/site/a/img"},
      {"..", "/site", "/site/a", "/"},  // the climb, then ".." as the last piece
      // The site root is normalised; the root folder itself works as a root.
      {"/img/x.gif", "/site/", "/site/a", "/site/img/x.gif"},
      {"/img/x.gif", "/", "/a", "/img/x.gif"},
      {"./x.gif", "/", "/", "/x.gif"},
      {"x.gif", "/", "/", "/x.gif"},
      // Pieces are split by characters: 0x83 0x2F is one character.
      {"../x.gif", "/site", "/site/ab\x83/cd", "/site/x.gif"},
      {"\x95\x5c/\x89\xe6.gif", "/site", "/site/\x83\x41", "/site/\x83\x41/\x95\x5c/\x89\xe6.gif"},
      // A page given without a folder keeps the path relative.
      {"img/x.gif", "/site", "", "img/x.gif"},
      {"../x.gif", "/site", "", ""},
      {"", "/site", "/site/a", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveLinkPath(c.reference, c.root, c.folder), c.expected) << c.reference << " in " << c.folder;
  }
}

TEST(RemotePathOf, MirrorsFoldersBelowTheRoot) {
  struct Case {
    const char *root, *folder, *base;
    std::string expected;
  } cases[] = {
      {"/site", "/site/img/", "/home", "/home/img/"},
      {"/site", "/site/", "/home", "/home/"},
      {"/site", "/site", "/home", "/home"},
      {"/site", "/site/a/b/", "/home", "/home/a/b/"},
      {"/site", "/site2/img/", "/home", ""},
      {"/site", "/Site/img/", "/home", ""},
      {"/site", "/other/", "/home", ""},
      {"/site/", "/site/img/", "/home", "/home/img/"},
      {"/", "/img/", "/home", "/home/img/"},
      {"/", "/", "/", "//"},
      {"", "/img/", "/home", "/home/img/"},
      {"/site", "/site/\x95\x5c/", "/", "//\x95\x5c/"},
      // A folder that climbs back out is outside, whatever its text begins with.
      {"/site", "/site/../etc/", "/home", ""},
      {"/site", "/site/a/../../site2/", "/home", ""},
      {"/site", "/site/sub/../img/", "/home", "/home/img/"},
      {"/site", "/site/./img/", "/home", "/home/img/"},
      {"/site/www/..", "/site/img/", "/home", "/home/img/"},
      // No remote path is built with a "." or ".." piece, even from the home folder.
      {"/site", "/site/img/", "/home/../x", ""},
      {"/site", "/site/img/", "/./", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RemotePathOf(c.root, c.folder, c.base), c.expected) << c.root << " " << c.folder;
  }
}

TEST(HasRemoteDotPiece, FindsDotPiecesOnly) {
  struct Case {
    const char* path;
    bool expected;
  } cases[] = {
      {"/home/u/x", false}, {"/../x", true},   {"..", true},    {"/a/./b", true}, {"/a/.", true},
      {"/a/b/", false},     {"/a/..b", false}, {"/.x/", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(HasRemoteDotPiece(c.path), c.expected) << c.path;
}

class CollectDependenciesTest : public ::testing::Test {
 protected:
  std::string Page(const std::string& name, const std::string& text) { return dir_.Write("site/" + name, text); }
  std::string Site(const std::string& rest = "") const { return dir_.Sub("site") + rest; }

  test::TempDir dir_;
};

TEST_F(CollectDependenciesTest, ResolvesSkipsPagesAndDuplicates) {
  const std::string page = Page("a/index.htm",
                                "<img src='img/x.gif'><img src=\"../img/y.gif\">\n"
                                "<img src='/img/z.gif'><img src='./w.gif'>\n"
                                "<a href='other.htm'><a href='sub/other.html'><a href='OTHER.HTM'>\n"
                                "<a href='#top'><a href='index.htm#top'><img src='img/x.gif'><img src='IMG/X.GIF'>\n"
                                "<img src='../../../../../../../../../../../../../../../../../../x.gif'>\n"
                                "<a href='http://example.com/'><script src='https://example.com/a.js'></script>\n"
                                "<td style='background-image:url(bg/tile.png)'>\n");
  TStringList list{page};
  CollectDependencies(list, Site(), page);
  EXPECT_EQ(list.Items(), (Paths{
                              page,
                              Site("/a/img/x.gif"),
                              Site("/img/y.gif"),
                              Site("/img/z.gif"),
                              Site("/a/w.gif"),
                              Site("/a/OTHER.HTM"),
                              Site("/a/IMG/X.GIF"),  // another file where names tell case apart
                              Site("/a/https://example.com/a.js"),
                              Site("/a/bg/tile.png"),
                          }));
}

TEST_F(CollectDependenciesTest, SecondPageAddsOnlyWhatIsNew) {
  const std::string one = Page("one.html", "<img src='pic/a.gif'><link href='style.css'>");
  const std::string two = Page("two.html", "<img src='PIC/A.GIF'><img src='pic/b.gif'><link href='/style.css'>");
  TStringList list{one, two};
  CollectDependencies(list, Site("/"), one);
  CollectDependencies(list, Site("/"), two);
  EXPECT_EQ(list.Items(),
            (Paths{one, two, Site("/pic/a.gif"), Site("/style.css"), Site("/PIC/A.GIF"), Site("/pic/b.gif")}));
}

TEST_F(CollectDependenciesTest, SelectedFileIsNotAddedAgainButACaseVariantIs) {
  const std::string page = Page("p.htm", "<img src='A.gif'><img src='a.GIF'>");
  TStringList list{page, Site("/a.GIF")};
  CollectDependencies(list, Site(), page);
  EXPECT_EQ(list.Items(), (Paths{page, Site("/a.GIF"), Site("/A.gif")}));
}

TEST_F(CollectDependenciesTest, UnreadablePageLeavesTheListAlone) {
  TStringList list{"first"};
  EXPECT_THROW(CollectDependencies(list, Site(), Site("/missing.htm")), EFileError);
  EXPECT_EQ(list.Items(), (Paths{"first"}));
}

TEST_F(CollectDependenciesTest, ManyDistinctReferencesAreAllCollected) {
  std::string text;
  const int count = 60000;
  for (int i = 0; i < count; ++i) text += "<img src='p/" + std::to_string(i) + ".gif'>";
  text += "<img src='P/7.GIF'>";
  const std::string page = Page("many.htm", text);
  TStringList list;
  CollectDependencies(list, Site(), page);
  ASSERT_EQ(list.Count(), count + 1);
  EXPECT_EQ(list[count - 1], Site("/p/59999.gif"));
  EXPECT_EQ(list[count], Site("/P/7.GIF"));
}

}  // namespace
}  // namespace tovra
