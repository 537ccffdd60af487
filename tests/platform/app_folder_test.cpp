// The choice of the application folder: the environment, a portable folder
// beside the executable, the user's data folder; and the folders it creates.
#include "platform/app_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::ScopedEnv;

using test::ModeOf;

TEST(AppFolder, AFolderOthersCanWriteIsWarnedAbout) {
  test::TempDir dir;
  const std::string folder = dir.Sub("app");
  CreateDirectory(folder);
  struct Case {
    unsigned mode;
    bool warned;
  } cases[] = {{0700, false}, {0755, false}, {0777, true}, {0703, true}, {01777, true}};
  for (const auto& c : cases) {
    ASSERT_EQ(::chmod(ToOsPath(folder).c_str(), c.mode), 0);
    const std::string warning = OpenFolderWarning(folder);
    EXPECT_EQ(!warning.empty(), c.warned) << std::oct << c.mode;
    if (c.warned) {
      EXPECT_NE(warning.find(folder), std::string::npos) << warning;
    }
  }
  // Group-writable: harmless for the owner's own group, not for another one.
  ASSERT_EQ(::chmod(ToOsPath(folder).c_str(), 0770), 0);
  ASSERT_EQ(::chown(ToOsPath(folder).c_str(), -1, ::getgid()), 0);
  EXPECT_EQ(OpenFolderWarning(folder), "");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(ToOsPath(folder).c_str(), -1, ::getgid() + 4242), 0);
    EXPECT_NE(OpenFolderWarning(folder), "");
  }
  EXPECT_EQ(OpenFolderWarning(dir.Sub("missing")), "");
}

TEST(AppFolder, ChoiceFollowsTheOrderOfSources) {
  test::TempDir dir;
  const std::string portable = dir.Sub("portable");
  dir.Write("portable/" + std::string(kSiteListFileName), "site\r\n");
  const std::string plain = dir.Sub("plain");
  CreateDirectory(plain);
  // A folder that only has a folder of the site list's name is not portable.
  const std::string odd = dir.Sub("odd");
  CreateDirectory(odd);
  CreateDirectory(JoinPath(odd, kSiteListFileName));
  const std::string data = dir.Sub("data");
  const std::string home = dir.Sub("home");

  struct Case {
    const char* name;
    AppFolderInputs inputs;
    std::string folder;
    AppFolderSource source;
  };
  const Case cases[] = {
      {"override wins over a portable folder",
       {dir.Sub("app") + "/", portable, data, home},
       dir.Sub("app"),
       AppFolderSource::Environment},
      {"portable folder wins over the data folder", {"", portable, data, home}, portable, AppFolderSource::Executable},
      {"portable folder given with a separator", {"", portable + "/", "", home}, portable, AppFolderSource::Executable},
      {"no site list: data folder", {"", plain, data, home}, data + "/tovra", AppFolderSource::DataHome},
      {"site list name taken by a folder", {"", odd, data, home}, data + "/tovra", AppFolderSource::DataHome},
      {"data folder given with a separator",
       {"", plain, data + "//", home},
       data + "/tovra",
       AppFolderSource::DataHome},
      {"relative data folder is ignored",
       {"", plain, "rel/data", home},
       home + "/.local/share/tovra",
       AppFolderSource::HomeDefault},
      {"no data folder", {"", plain, "", home + "/"}, home + "/.local/share/tovra", AppFolderSource::HomeDefault},
      {"missing executable folder",
       {"", dir.Sub("gone"), "", home},
       home + "/.local/share/tovra",
       AppFolderSource::HomeDefault},
      {"no home at all", {"", plain, "", ""}, plain, AppFolderSource::NoHome},
      {"relative home is no home", {"", plain, "", "home"}, plain, AppFolderSource::NoHome},
      {"root as the override keeps its separator", {"/", plain, data, home}, "/", AppFolderSource::Environment},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AppFolderChoice choice = ChooseAppFolder(c.inputs);
    EXPECT_EQ(choice.folder, c.folder);
    EXPECT_EQ(choice.source, c.source);
  }
  // Choosing never creates anything.
  EXPECT_FALSE(PathExists(data));
  EXPECT_FALSE(PathExists(home));
}

TEST(AppFolder, ReadOnlyPortableFolderIsNotUsed) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
  test::TempDir dir;
  const std::string portable = dir.Sub("portable");
  dir.Write("portable/" + std::string(kSiteListFileName), "site\r\n");
  ASSERT_EQ(::chmod(ToOsPath(portable).c_str(), 0555), 0);
  AppFolderChoice choice = ChooseAppFolder({"", portable, dir.Sub("data"), ""});
  ::chmod(ToOsPath(portable).c_str(), 0755);
  EXPECT_EQ(choice.source, AppFolderSource::DataHome);
}

TEST(AppFolder, DataFolderIsCreatedPrivateWithItsParents) {
  test::TempDir dir;
  ::chmod(ToOsPath(dir.Path()).c_str(), 0755);
  AppFolderChoice choice{dir.Sub("home/.local/share/tovra"), AppFolderSource::HomeDefault};
  ASSERT_TRUE(PrepareAppFolder(choice));
  for (const char* made : {"home", "home/.local", "home/.local/share", "home/.local/share/tovra"}) {
    SCOPED_TRACE(made);
    EXPECT_TRUE(DirectoryExists(dir.Sub(made)));
    EXPECT_EQ(ModeOf(dir.Sub(made)), 0700u);
  }
  EXPECT_EQ(ModeOf(dir.Path()), 0755u) << "an existing folder keeps its mode";
  // A second call finds it there; a folder the user opened up stays open.
  ::chmod(ToOsPath(choice.folder).c_str(), 0750);
  EXPECT_TRUE(PrepareAppFolder(choice));
  EXPECT_EQ(ModeOf(choice.folder), 0750u);
}

TEST(AppFolder, OnlyTheDataFoldersAreCreated) {
  test::TempDir dir;
  dir.Write("file", "x");
  struct Case {
    AppFolderChoice choice;
    bool ok;
    bool exists;
  };
  const Case cases[] = {
      {{dir.Sub("env"), AppFolderSource::Environment}, true, false},
      {{dir.Sub("exe"), AppFolderSource::Executable}, true, false},
      {{dir.Sub("xdg/tovra"), AppFolderSource::DataHome}, true, true},
      {{dir.Sub("file/tovra"), AppFolderSource::DataHome}, false, false},
      {{dir.Sub("file/.local/share/tovra"), AppFolderSource::HomeDefault}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.choice.folder);
    EXPECT_EQ(PrepareAppFolder(c.choice), c.ok);
    EXPECT_EQ(DirectoryExists(c.choice.folder), c.exists);
  }
}

TEST(AppFolder, EnvironmentOverridesAndTrailingSeparatorDropped) {
  test::TempDir dir;
  ScopedEnv data("XDG_DATA_HOME", dir.Sub("data"));
  {
    ScopedEnv over("TOVRA_APP_FOLDER", dir.Path() + "/");
    EXPECT_EQ(AppFolder(), dir.Path());
  }
  // The test executable's folder holds no site list: the data folder, made.
  ScopedEnv cleared("TOVRA_APP_FOLDER", nullptr);
  EXPECT_EQ(CurrentAppFolder().source, AppFolderSource::DataHome);
  EXPECT_EQ(AppFolder(), dir.Sub("data/tovra"));
  EXPECT_TRUE(DirectoryExists(dir.Sub("data/tovra")));
  // An empty variable counts as unset.
  ScopedEnv empty("TOVRA_APP_FOLDER", "");
  EXPECT_EQ(AppFolder(), dir.Sub("data/tovra"));
}

TEST(AppFolder, WithoutHomeTheAccountsHomeIsUsed) {
  test::TempDir dir;
  ScopedEnv over("TOVRA_APP_FOLDER", nullptr);
  ScopedEnv data("XDG_DATA_HOME", nullptr);
  ScopedEnv home("HOME", nullptr);
  AppFolderInputs inputs = CurrentAppFolderInputs();
  EXPECT_FALSE(inputs.home.empty());
  EXPECT_EQ(inputs.home.front(), '/');
  EXPECT_EQ(inputs.executableFolder, ExtractFileDir(ExecutablePath()));
}

}  // namespace
}  // namespace tovra
