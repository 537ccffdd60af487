#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/encoding.h"
#include "platform/line_file.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

TEST(Files, JapaneseNamesRoundTrip) {
  test::TempDir dir;
  const std::string name = dir.Sub("\x95\x5C\x8e\xa6.txt");  // 表示.txt with a 0x5C trail byte
  WriteFileAtomic(name, "bytes\r\n");
  EXPECT_TRUE(FileExists(name));
  EXPECT_EQ(ReadFileBytes(name), "bytes\r\n");
  auto entries = ListFolder(dir.Path());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "\x95\x5C\x8e\xa6.txt");
}

TEST(Files, AtomicWriteKeepsModeAndLeavesNoTemporary) {
  test::TempDir dir;
  const std::string path = dir.Sub("profile.ini");
  WriteFileAtomic(path, "one", 0600);
  WriteFileAtomic(path, "two");
  struct stat st;
  ASSERT_EQ(::stat(ToOsPath(path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(path), "two");
  EXPECT_EQ(ListFolder(dir.Path()).size(), 1u);
}

TEST(Files, FailuresNameThePath) {
  test::TempDir dir;
  const std::string missing = dir.Sub("none.htm");
  try {
    ReadFileBytes(missing);
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Path(), missing);
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
  }
  EXPECT_THROW(WriteFileAtomic(dir.Sub("no/such/folder.txt"), "x"), EFileError);
  EXPECT_FALSE(DeleteFile(missing));
}

TEST(Files, PathPieces) {
  struct Case {
    std::string path, dir, name;
  } cases[] = {
      {"/a/b/c.htm", "/a/b", "c.htm"},
      {"/c.htm", "/", "c.htm"},
      {"c.htm", "", "c.htm"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFileDir(c.path), c.dir);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
  }
}

TEST(Files, LineFilesUseCrLf) {
  test::TempDir dir;
  const std::string path = dir.Sub("list.txt");
  SaveLines(path, TStringList{"\x83\x41", "b"});
  EXPECT_EQ(ReadFileBytes(path), "\x83\x41\r\nb\r\n");
  EXPECT_EQ(LoadLines(path).Items(), (std::vector<std::string>{"\x83\x41", "b"}));
  TStringList untouched{"keep"};
  EXPECT_FALSE(LoadLinesIfExists(dir.Sub("none.txt"), untouched));
  EXPECT_EQ(untouched.Count(), 1);
}

// The process's time zone for one scope, read anew on the way in and out
// (localtime_r does not look at TZ again by itself).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) : tz_("TZ", zone) { ::tzset(); }

 private:
  struct Reload {
    ~Reload() { ::tzset(); }
  } reload_;  // destroyed last: after tz_ has put the variable back
  test::ScopedEnv tz_;
};

TEST(Files, DosDateTimePacksLocalTime) {
  ScopedTimeZone utc("UTC");
  // 2020-01-02 03:04:06 UTC
  std::uint32_t packed = ToDosDateTime(1577934246);
  EXPECT_EQ(packed >> 16, static_cast<std::uint32_t>((40 << 9) | (1 << 5) | 2));
  EXPECT_EQ(packed & 0xFFFF, static_cast<std::uint32_t>((3 << 11) | (4 << 5) | 3));
}

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

TEST(Files, FolderNamesCarryKindsAndLinks) {
  test::TempDir dir;
  dir.Write("sub/x.htm", "");
  dir.Write("\x95\x5C.htm", "abc");
  ASSERT_EQ(::symlink(ToOsPath(dir.Sub("sub")).c_str(), ToOsPath(dir.Sub("link")).c_str()), 0);
  auto names = ListFolderNames(dir.Path());
  ASSERT_EQ(names.size(), 3u);
  for (const auto& e : names) {
    if (e.name == "sub")
      EXPECT_TRUE(e.isDirectory && !e.isLink);
    else if (e.name == "link")
      EXPECT_TRUE(e.isDirectory && e.isLink);
    else
      EXPECT_TRUE(e.name == "\x95\x5C.htm" && !e.isDirectory && !e.isLink);
  }
  FileTimes times;
  ASSERT_TRUE(GetFileTimes(dir.Sub("\x95\x5C.htm"), times));
  EXPECT_EQ(times.size, 3);
  EXPECT_GT(times.lastAccess, 0);
  EXPECT_FALSE(GetFileTimes(dir.Sub("none"), times));
}

}  // namespace
}  // namespace tovra
