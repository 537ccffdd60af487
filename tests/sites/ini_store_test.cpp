#include "sites/ini_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using namespace std::string_literals;

TEST(IniStore, AbsentFileReadsDefaultsAndFirstWriteCreatesIt) {
  test::TempDir dir;
  TIniStore store(dir.Sub("new.ini"), 0600);
  EXPECT_EQ(store.Read("s", "k", "def"), "def");
  EXPECT_FALSE(FileExists(store.Path()));
  store.Write("s", "k", "v");
  EXPECT_EQ(ReadFileBytes(store.Path()), "[s]\r\nk=v\r\n");
  EXPECT_EQ(store.Read("S", "K", "def"), "v");
  struct stat st;
  ASSERT_EQ(::stat(ToOsPath(store.Path()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A store for its owner alone (profiles) narrows a file it replaces to
// that mode; any other store keeps the replaced file's mode.
TEST(IniStore, AReplacedFileOfAnOwnerOnlyStoreIsNarrowed) {
  struct Case {
    unsigned newFileMode, before, after;
  } cases[] = {{0600, 0644, 0600}, {0600, 0666, 0600}, {0600, 0600, 0600}, {0644, 0664, 0664}};
  for (const auto& c : cases) {
    test::TempDir dir;
    TIniStore store(dir.Write("profile.txt", "[s]\r\nk=old\r\n"), c.newFileMode);
    ASSERT_EQ(::chmod(ToOsPath(store.Path()).c_str(), c.before), 0);
    store.Write("s", "k", "new");
    struct stat st;
    ASSERT_EQ(::stat(ToOsPath(store.Path()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.after) << std::oct << c.before;
  }
}

TEST(IniStore, EraseRemovesTheKeyAndCreatesNoFile) {
  test::TempDir dir;
  TIniStore absent(dir.Sub("absent.ini"));
  absent.Erase("s", "k");
  EXPECT_FALSE(FileExists(absent.Path()));

  TIniStore store(dir.Write("a.ini", "[s]\r\nk=1\r\nj=2\r\n"));
  store.Erase("s", "missing");
  EXPECT_EQ(ReadFileBytes(store.Path()), "[s]\r\nk=1\r\nj=2\r\n");
  store.BeginUpdate();
  store.Erase("S", "K");
  EXPECT_EQ(store.Read("s", "k", "gone"), "gone");  // the update's copy
  EXPECT_EQ(ReadFileBytes(store.Path()), "[s]\r\nk=1\r\nj=2\r\n");
  store.EndUpdate();
  EXPECT_EQ(ReadFileBytes(store.Path()), "[s]\r\nj=2\r\n");
  store.Erase("s", "j");
  EXPECT_EQ(ReadFileBytes(store.Path()), "[s]\r\n");
}

TEST(IniStore, FailedWriteNamesThePathAndLeavesTheFile) {
  test::TempDir dir;
  const std::string path = dir.Write("kept.ini", "[s]\r\nk=old\r\n");
  TIniStore store(path);
  const std::string expected = path + " に書き込めません";
  for (const auto& value : {"line\r\nbreak"s, "nul\0"s}) {
    try {
      store.Write("s", "k", value);
      FAIL() << "no error";
    } catch (const EFileError& e) {
      EXPECT_EQ(std::string(e.what()), expected);
    }
  }
  EXPECT_EQ(ReadFileBytes(path), "[s]\r\nk=old\r\n");
  TIniStore inMissingFolder(dir.Sub("no/such/folder.ini"));
  EXPECT_THROW(inMissingFolder.Write("s", "k", "v"), EFileError);
  EXPECT_THROW(TIniStore().Write("s", "k", "v"), EFileError);
  EXPECT_EQ(TIniStore().Read("s", "k", "d"), "d");
}

TEST(IniStore, UnreadableFileReadsDefaultsAndIsNotReplaced) {
  test::TempDir dir;
  CreateDirectory(dir.Sub("folder.ini"));  // a folder where a file is expected
  TIniStore store(dir.Sub("folder.ini"));
  EXPECT_EQ(store.Read("s", "k", "d"), "d");
  EXPECT_THROW(store.Write("s", "k", "v"), EFileError);
  EXPECT_TRUE(DirectoryExists(dir.Sub("folder.ini")));
}

TEST(IniStore, UpdateWritesOnceAndCancelDropsTheChanges) {
  test::TempDir dir;
  TIniStore store(dir.Sub("batch.ini"));
  store.BeginUpdate();
  store.Write("a", "x", "1");
  store.Write("b", "y", "2");
  EXPECT_EQ(store.Read("a", "x", ""), "1");  // reads see the pending changes
  EXPECT_FALSE(FileExists(store.Path()));
  store.EndUpdate();
  EXPECT_EQ(ReadFileBytes(store.Path()), "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n");
  store.BeginUpdate();
  store.Write("a", "x", "changed");
  store.CancelUpdate();
  EXPECT_EQ(store.Read("a", "x", ""), "1");
  EXPECT_EQ(ReadFileBytes(store.Path()), "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n");
}

}  // namespace
}  // namespace tovra
