#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <future>

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

// "〜" (U+301C) and "～" (U+FF5E) are two files; CP932 has one wave dash.
// A listing passes over what CP932 cannot hold, or marks it when asked,
// and never gives one file under another's name.
TEST(Files, NamesCp932CannotHoldArePassedOverOrMarked) {
  test::TempDir dir;
  const std::string disk = dir.Path() + "/";
  for (const char* name : {"\xE3\x80\x9C.png", "\xEF\xBD\x9E.png", "caf\xC3\xA9"}) {
    ASSERT_EQ(::mkdir((disk + name).c_str(), 0755), 0);
  }
  ASSERT_EQ(::close(::creat((disk + "caf\xC3\xA9/x.txt").c_str(), 0644)), 0);
  const auto names = [](const std::vector<DirEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(names(ListFolder(dir.Path())), (std::vector<std::string>{"\x81\x60.png"}));
  const auto marked = ListFolder(dir.Path(), TUnheldNames::Marked);
  EXPECT_EQ(names(marked), (std::vector<std::string>{"caf\xFF[U+00E9]", "\x81\x60.png", "\xFF[U+301C].png"}));
  // A marked folder is a path like any other.
  EXPECT_TRUE(DirectoryExists(dir.Sub("caf\xFF[U+00E9]")));
  EXPECT_EQ(names(ListFolder(dir.Sub("caf\xFF[U+00E9]"))), (std::vector<std::string>{"x.txt"}));
  EXPECT_EQ(ReadFileBytes(dir.Sub("caf\xFF[U+00E9]/x.txt")), "");
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
// Mode bits of a file by CP932 path.
using test::ModeOf;

TEST(Files, NonRegularFilesAreRefusedWithoutWaiting) {
  test::TempDir dir;
  const std::string fifo = dir.Sub("pipe.html");
  ASSERT_EQ(::mkfifo(ToOsPath(fifo).c_str(), 0644), 0);
  CreateDirectory(dir.Sub("folder.html"));
  for (const std::string& path : {fifo, dir.Sub("folder.html"), std::string("/dev/null")}) {
    auto read = std::async(std::launch::async, [&] {
      try {
        ReadFileBytes(path);
        return std::string("read");
      } catch (const EFileError& e) {
        return std::string(e.what());
      }
    });
    if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      // Let a reader stuck in open() go before failing.
      int writer = ::open(ToOsPath(fifo).c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) ::close(writer);
      FAIL() << path << " blocked";
    }
    const std::string error = read.get();
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("は開けません"), std::string::npos) << error;
  }
}

TEST(Files, WritesGoThroughSymbolicLinks) {
  test::TempDir dir;
  const std::string target = dir.Write("real/page.html", "old");
  struct Case {
    std::string link, linkText, written;
  } cases[] = {
      {dir.Sub("absolute.html"), ToOsPath(target), dir.Sub("real/page.html")},
      {dir.Sub("relative.html"), "real/page.html", dir.Sub("real/page.html")},
      {dir.Sub("dangling.html"), "real/new.html", dir.Sub("real/new.html")},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(::symlink(c.linkText.c_str(), ToOsPath(c.link).c_str()), 0);
    WriteFileAtomic(c.link, "through " + c.link);
    struct stat lst;
    ASSERT_EQ(::lstat(ToOsPath(c.link).c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode)) << c.link << " stays a link";
    EXPECT_EQ(ReadFileBytes(c.written), "through " + c.link);
  }
  EXPECT_EQ(ListFolder(dir.Sub("real")).size(), 2u) << "no temporary left beside the target";
}

TEST(Files, ReadOnlyFilesAreRefusedAndKept) {
  test::TempDir dir;
  for (unsigned mode : {0444u, 0400u, 0000u}) {
    const std::string path = dir.Write("ro" + std::to_string(mode) + ".html", "keep");
    ASSERT_EQ(::chmod(ToOsPath(path).c_str(), mode), 0);
    try {
      WriteFileAtomic(path, "changed");
      ADD_FAILURE() << "mode " << mode << " was written";
    } catch (const EFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + " に書き込めません");
    }
    ::chmod(ToOsPath(path).c_str(), 0644);
    EXPECT_EQ(ReadFileBytes(path), "keep");
  }
}

TEST(Files, NewFilesRespectTheUmaskAndReplacedOnesKeepTheirMode) {
  test::TempDir dir;
  const mode_t saved = ::umask(077);
  WriteFileAtomic(dir.Sub("list.txt"), "a");
  WriteFileAtomic(dir.Sub("profile.ini"), "a", 0600);
  ::umask(022);
  WriteFileAtomic(dir.Sub("open.txt"), "a");
  WriteFileAtomic(dir.Sub("profile2.ini"), "a", 0600);
  ::chmod(ToOsPath(dir.Sub("open.txt")).c_str(), 0664);
  WriteFileAtomic(dir.Sub("open.txt"), "b");
  ::umask(saved);
  EXPECT_EQ(ModeOf(dir.Sub("list.txt")), 0600u);
  EXPECT_EQ(ModeOf(dir.Sub("profile.ini")), 0600u);
  EXPECT_EQ(ModeOf(dir.Sub("profile2.ini")), 0600u);
  EXPECT_EQ(ModeOf(dir.Sub("open.txt")), 0664u);
}

TEST(Files, StaleTemporariesOfTheSameFileAreRemoved) {
  test::TempDir dir;
  const auto age = [&](const std::string& name, int seconds) {
    const std::string path = dir.Write(name, "WebPasswd=secret");
    const timespec times[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
    ::utimensat(AT_FDCWD, ToOsPath(path).c_str(), times, 0);
  };
  age("site.ini.tmp123456", 3600);  // left by a killed write: removed
  age("site.ini.tmp9", 120);        // removed
  age("site.ini.tmp777", 0);        // a write that may still run: kept
  age("site.ini.tmpx1", 3600);      // not our naming: kept
  age("site.ini.tmp", 3600);        // kept
  age("other.ini.tmp123", 3600);    // another file's: kept
  age("site.ini.tmp5.bak", 3600);   // kept
  WriteFileAtomic(dir.Sub("site.ini"), "new");
  std::vector<std::string> names;
  for (const auto& e : ListFolder(dir.Path())) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"other.ini.tmp123", "site.ini", "site.ini.tmp", "site.ini.tmp5.bak",
                                             "site.ini.tmp777", "site.ini.tmpx1"}));
}

TEST(PageLines, JoinKeepsWhatTheLinesDoNotShow) {
  const std::string nul("\0", 1);
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
    std::string joined;  // unedited, every line ending in CR LF
  } cases[] = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}, "a\r\nb\r\nc\r\nd\r\n"},
      {"x" + nul + "y\r\n" + nul + "\n", {"x", ""}, "x" + nul + "y\r\n" + nul + "\r\n"},
      {"\x83\x41" + nul + "\x83", {"\x83\x41"}, "\x83\x41" + nul + "\x83\r\n"},
      {"", {}, ""},
  };
  for (const auto& c : cases) {
    const TPageLines page = SplitPageLines(c.bytes);
    EXPECT_EQ(page.lines.Items(), c.lines);
    EXPECT_EQ(page.lines, [&] {
      TStringList list;
      list.SetText(c.bytes);
      return list;
    }()) << "the same lines as a string list";
    EXPECT_EQ(JoinPageLines(page, page.lines), c.joined);
  }
  // Lines moved, edited and added carry their own hidden bytes along.
  const TPageLines page = SplitPageLines("one" + nul + "1\ntwo" + nul + "2\n");
  TStringList edited{"TWO", "new", "one"};
  EXPECT_EQ(JoinPageLines(page, edited, {1, -1, 0}), "TWO" + nul + "2\r\nnew\r\none" + nul + "1\r\n");
}

TEST(PageLines, KeptBreaksGiveTheBytesBack) {
  const std::string nul("\0", 1);
  struct Case {
    std::string bytes;
    std::vector<int> origin;  // empty: unedited
    std::vector<std::string> edited;
    std::string joined;
  } cases[] = {
      {"a\r\nb\nc\rd", {}, {}, "a\r\nb\nc\rd"},
      {"x" + nul + "y\n\n", {}, {}, "x" + nul + "y\n\n"},
      {"", {}, {}, ""},
      // A new line takes the break of the line before it; the last line,
      // which had none, gets one when a line follows it.
      {"a\nb", {0, -1, 1}, {"a", "n", "b"}, "a\nn\nb"},
      {"a\rb", {1, 0}, {"b", "a"}, "b\ra\r"},
      {"a\rb", {-1, 0, 1}, {"n", "a", "b"}, "n\ra\rb"},
      {"a\r\nb\r\n", {0, 1, -1}, {"a", "b", "c"}, "a\r\nb\r\nc\r\n"},
  };
  for (const auto& c : cases) {
    TPageLines page = SplitPageLines(c.bytes);
    page.keepBreaks = true;
    TStringList edited = page.lines;
    if (!c.origin.empty()) {
      edited.Clear();
      for (const auto& line : c.edited) edited.Add(line);
    }
    EXPECT_EQ(JoinPageLines(page, edited, c.origin), c.joined);
  }
}

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
