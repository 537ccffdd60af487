// tovra-cli where and --version, run as a separate process: which folder a
// user's sites land in, whether the program is run from the build, from a
// portable folder or installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/app_folder.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::CliEnvironment;
using test::RunCli;
using test::ScopedEnv;

using test::ModeOf;

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(CliWhere, VersionIsTheProjectVersion) {
  test::CliResult result = RunCli({"--version"}, "", "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, std::string("tovra-cli ") + TOVRA_VERSION + "\n");
  EXPECT_NE(RunCli({"--help"}, "", "").out.find("--version"), std::string::npos);
}

TEST(CliWhere, PrintsTheFolderAndWhy) {
  test::TempDir dir;
  CreateDirectory(dir.Sub("app"));
  dir.Write("file", "x");
  struct Case {
    const char* name;
    CliEnvironment environment;
    int status;
    std::string folder;  // first line of the output
    std::string reason;  // part of the second line
    std::string error;   // part of stderr
    unsigned mode;       // of the folder afterwards (0: not looked at)
  };
  const std::string home = dir.Sub("home");
  const Case cases[] = {
      {"set by the variable",
       {{"TOVRA_APP_FOLDER", dir.Sub("app") + "/"}},
       0,
       dir.Sub("app"),
       "TOVRA_APP_FOLDER",
       "",
       0},
      {"variable naming a missing folder",
       {{"TOVRA_APP_FOLDER", dir.Sub("none")}},
       1,
       dir.Sub("none"),
       "TOVRA_APP_FOLDER",
       "does not exist",
       0},
      {"data folder made",
       {{"TOVRA_APP_FOLDER", ""}, {"XDG_DATA_HOME", dir.Sub("xdg")}, {"HOME", home}},
       0,
       dir.Sub("xdg/tovra"),
       "XDG_DATA_HOME",
       "",
       0700},
      {"home's data folder made",
       {{"TOVRA_APP_FOLDER", ""}, {"XDG_DATA_HOME", ""}, {"HOME", home}},
       0,
       home + "/.local/share/tovra",
       "unset",
       "",
       0700},
      {"data folder that cannot be made",
       {{"TOVRA_APP_FOLDER", ""}, {"XDG_DATA_HOME", dir.Sub("file")}},
       1,
       dir.Sub("file/tovra"),
       "XDG_DATA_HOME",
       "cannot be created",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::CliResult result = RunCli({"where"}, "", "", "", c.environment);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(FirstLine(result.out), c.folder);
    EXPECT_NE(result.out.find(c.reason), std::string::npos) << result.out;
    if (c.error.empty()) {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    }
    if (c.mode != 0) {
      EXPECT_EQ(ModeOf(c.folder), c.mode);
    }
  }
  EXPECT_EQ(RunCli({"where", "extra"}, "", "").status, 2);
}

// A copy of tovra-cli in a folder of its own, as a user unpacks or installs it.
class CliCopy {
 public:
  CliCopy() : binaryDir_("TOVRA_BINARY_DIR", dir_.Path()) {
    std::filesystem::create_directories(ToOsPath(Folder()));
    std::filesystem::copy_file(ToOsPath(original_), ToOsPath(test::CliPath()));
  }
  // The folder that holds the copy.
  std::string Folder() const { return dir_.Sub("src/cli"); }

 private:
  std::string original_ = test::CliPath();
  test::TempDir dir_;
  ScopedEnv binaryDir_;
};

TEST(CliWhere, SitesGoWhereWhereSays) {
  test::TempDir dir;
  CliCopy copy;
  const std::string site = "サイト";
  const CliEnvironment installed{{"TOVRA_APP_FOLDER", ""}, {"XDG_DATA_HOME", dir.Sub("xdg")}};
  struct Case {
    const char* name;
    bool portable;  // a site list beside the program beforehand
    std::string folder;
    AppFolderSource source;
  };
  const Case cases[] = {
      {"a program without a site list beside it", false, dir.Sub("xdg/tovra"), AppFolderSource::DataHome},
      {"a portable folder", true, copy.Folder(), AppFolderSource::Executable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.portable) WriteFileAtomic(JoinPath(copy.Folder(), kSiteListFileName), "");
    test::CliResult where = RunCli({"where"}, "", "", "", installed);
    ASSERT_EQ(where.status, 0) << where.err;
    EXPECT_EQ(FirstLine(where.out), c.folder);
    test::CliResult set =
        RunCli({"site", "set", site, "--yes", "LocalRootDir=" + dir.Path(), "WebPasswd=secret"}, "", "", "", installed);
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(FirstLine(RunCli({"sites"}, "", "", "", installed).out), site);
    EXPECT_TRUE(FileExists(JoinPath(c.folder, kSiteListFileName)));
    EXPECT_EQ(ModeOf(JoinPath(c.folder, site + ".txt")), 0600u) << "the profile holds the password";
  }
  // The portable folder took the second site; the data folder kept the first.
  EXPECT_TRUE(FileExists(dir.Sub("xdg/tovra/" + site + ".txt")));
}

}  // namespace
}  // namespace tovra
