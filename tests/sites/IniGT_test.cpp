#include "sites/IniGT.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/recording_messenger.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

class IniGTTest : public ::testing::Test {
 protected:
  // A component on app/name holding text.
  TIniGT With(const std::string& text, TIniGTFence fence = fnNone) {
    app.Write("t.ini", text);
    TIniGT ini;
    ini.SetFence(fence);
    ini.SetFileName("t.ini");
    return ini;
  }

  test::TempAppFolder app;
};

TEST_F(IniGTTest, FileNameResolution) {
  struct Case {
    std::string name;
    TIniGTDefaultDir dir;
    std::string expected;
  } cases[] = {
      {"/data/site.txt", ddApplication, "/data/site.txt"},
      {"/data/site.txt", ddWindows, "/data/site.txt"},
      {"/data/site.txt", ddNone, "/data/site.txt"},
      {"site.txt", ddApplication, app.Sub("site.txt")},
      {"site.txt", ddWindows, "/etc/site.txt"},
      {"site.txt", ddNone, "site.txt"},
      {"sub/site.txt", ddApplication, "sub/site.txt"},
  };
  for (const auto& c : cases) {
    TIniGT ini;
    ini.SetDefaultDir(c.dir);
    ini.SetFileName(c.name);
    EXPECT_EQ(ini.ResolvedPath(), c.expected) << c.name;
    EXPECT_EQ(ini.FileName(), c.name);
  }
  TIniGT ini;
  ini.SetFileName("site.txt");
  ini.SetDefaultDir(ddNone);  // the same name resolved again
  EXPECT_EQ(ini.ResolvedPath(), "site.txt");
}

TEST_F(IniGTTest, DefaultFileNameFromTheExecutable) {
  struct Case {
    const char* exe;
    const char* ini;
  } cases[] = {
      {"UPLOADER.EXE", "Uploader.ini"},     {"2GO.EXE", "2go.ini"},
      {"/usr/bin/tovra", "Tovra.ini"},      {"/opt/My.App.exe", "My.app.ini"},
      {"\x83\x41PP.EXE", "\x83\x41pp.ini"},  // no letter first: nothing upper-cased
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultIniFileName(c.exe), c.ini) << c.exe;
}

TEST_F(IniGTTest, LoadedPicksTheDefaultNameOnlyInTheProgram) {
  TIniGT program;
  program.Loaded("/x/UPLOADER.EXE");
  EXPECT_EQ(program.FileName(), "Uploader.ini");
  EXPECT_EQ(program.ResolvedPath(), app.Sub("Uploader.ini"));
  EXPECT_EQ(program.Fence(), fnNone);

  TIniGT named;
  named.SetFileName("own.ini");
  named.Loaded("/x/UPLOADER.EXE");
  EXPECT_EQ(named.FileName(), "own.ini");

  TIniGT designed;
  designed.SetDesignMode(true);
  designed.Loaded("/x/UPLOADER.EXE");
  EXPECT_EQ(designed.FileName(), "");
  EXPECT_EQ(designed.Fence(), fnVer11Mode);  // placed afresh in a designer
  EXPECT_FALSE(designed.FenceUnset());

  TIniGT designedWithFence;
  designedWithFence.SetDesignMode(true);
  designedWithFence.SetFence(fnNone);
  designedWithFence.Loaded("/x/UPLOADER.EXE");
  EXPECT_EQ(designedWithFence.Fence(), fnNone);
}

TEST_F(IniGTTest, LeavingVer11ModeWarnsInDesignModeOnly) {
  test::RecordingMessenger messenger{true};
  TIniGT ini;
  ini.SetDesignMessenger(&messenger);
  EXPECT_TRUE(ini.FenceUnset());
  ini.SetFence(fnNone);  // the same value still counts as set
  EXPECT_FALSE(ini.FenceUnset());
  ini.SetFence(fnVer11Mode);
  ini.SetFence(fnNone);  // not in design mode
  EXPECT_TRUE(messenger.messages.empty());
  ini.SetDesignMode(true);
  ini.SetFence(fnVer11Mode);
  ini.SetFence(fnVer11Mode);
  EXPECT_TRUE(messenger.messages.empty());
  ini.SetFence(fnDoubleQuote);
  ASSERT_EQ(messenger.messages.size(), 1u);
  EXPECT_EQ(messenger.messages[0],
            "fnVer11Mode以外の値にすると、TIniGTのVer1.0とVer1.1で書き込んだﾌｧｲﾙを正しく読めない事があります。");
  EXPECT_EQ(ini.Fence(), fnDoubleQuote);
}

TEST_F(IniGTTest, ReadNumber) {
  TIniGT ini = With(
      "[n]\r\nhex=0x1A\r\nHEX=0X1a\r\nmixed=12abc\r\nneg=-5\r\nbare=0x\r\nspaced= 42 \r\n"
      "big=2147483648\r\nmin=-2147483648\r\nallbits=0xFFFFFFFF\r\nwide=0x100000000\r\nempty=\r\n"
      "plus=+7\r\nsign=-\r\n");
  struct Case {
    const char* key;
    int expected;
  } cases[] = {
      {"hex", 26},        {"HEX", 26},     {"mixed", -1}, {"neg", -5},   {"bare", -1},   {"spaced", 42}, {"big", -1},
      {"min", INT32_MIN}, {"allbits", -1}, {"wide", -1},  {"empty", -1}, {"absent", -1}, {"plus", 7},    {"sign", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ini.ReadNumber("n", c.key, -1), c.expected) << c.key;
  EXPECT_EQ(ini.ReadNumber("n", "allbits", 9), -1);  // a real -1, not the default
  EXPECT_EQ(ini.ReadNumber("n", "mixed", 9), 9);
}

TEST_F(IniGTTest, Flags) {
  TIniGT ini = With("[f]\r\non=2\r\noff=0\r\ntext=yes\r\n");
  EXPECT_TRUE(ini.ReadFlag("f", "on", false));
  EXPECT_FALSE(ini.ReadFlag("f", "off", true));
  EXPECT_TRUE(ini.ReadFlag("f", "text", true));
  EXPECT_FALSE(ini.ReadFlag("f", "absent", false));
  ini.WriteFlag("f", "new", true);
  ini.WriteNumber("f", "num", -12);
  EXPECT_EQ(ini.ReadRaw("f", "new", ""), "1");
  EXPECT_EQ(ini.ReadRaw("f", "num", ""), "-12");
}

TEST_F(IniGTTest, FencesOnReading) {
  // The store drops one pair of surrounding quote marks itself (as the
  // profile functions do), so "twice" reaches the component as "x".
  const std::string text = "[v]\r\ntwice=\"\"x\"\"\r\ncorner=\xA2x\xA3\r\nplain=x\r\n";
  struct Case {
    TIniGTFence fence;
    const char* twice;
    const char* corner;
  } cases[] = {
      {fnDoubleQuote, "x", "\xA2x\xA3"},
      {fnParenthesis, "\"x\"", "x"},
      {fnVer11Mode, "x", "x"},
      {fnNone, "\"x\"", "\xA2x\xA3"},
  };
  for (const auto& c : cases) {
    TIniGT ini = With(text, c.fence);
    EXPECT_EQ(ini.ReadValue("v", "twice", ""), c.twice) << c.fence;
    EXPECT_EQ(ini.ReadValue("v", "corner", ""), c.corner) << c.fence;
    EXPECT_EQ(ini.ReadValue("v", "plain", ""), "x") << c.fence;
    EXPECT_EQ(ini.ReadValue("v", "absent", "def"), "def") << c.fence;
  }
}

TEST_F(IniGTTest, FencesOnWriting) {
  struct Case {
    TIniGTFence fence;
    const char* stored;
  } cases[] = {
      {fnDoubleQuote, "\"a b\""},
      {fnParenthesis,
       "\xA2"
       "a b\xA3"},
      {fnVer11Mode,
       "\xA2"
       "a b\xA3"},
      {fnNone, "a b"},
  };
  for (const auto& c : cases) {
    TIniGT ini = With("", c.fence);
    ini.WriteValue("v", "k", "a b");
    EXPECT_EQ(ReadFileBytes(ini.ResolvedPath()), std::string("[v]\r\nk=") + c.stored + "\r\n") << c.fence;
    EXPECT_EQ(ini.ReadValue("v", "k", ""), "a b") << c.fence;
  }
}

TEST_F(IniGTTest, ValuesReadBackExactlyAndOldFilesReadAsBefore) {
  struct Case {
    TIniGTFence fence;
    std::string value, line;  // the value and the line that stores it
  } cases[] = {
      {fnNone, "plain", "k=plain"},
      {fnNone, " lead", "k=\" lead\""},
      {fnNone, "trail\t", "k=\"trail\t\""},
      {fnNone, "\"q\"", "k=\"\"q\"\""},
      {fnNone, "'q'", "k=\"'q'\""},
      {fnNone, "\"", "k=\""},
      {fnNone, "", "k="},
      {fnNone, "a \"b\" c", "k=a \"b\" c"},
      {fnNone, std::string(2047, 'x'), "k=" + std::string(2047, 'x')},
      {fnNone, std::string(2045, 'x') + "\x83\x41", "k=" + std::string(2045, 'x') + "\x83\x41"},
      {fnDoubleQuote, " x ", "k=\" x \""},
      {fnDoubleQuote, "\"x\"", "k=\"\"\"x\"\"\""},
      {fnParenthesis, " x", "k=\xA2 x\xA3"},
  };
  for (const auto& c : cases) {
    TIniGT ini = With("", c.fence);
    ini.WriteValue("s", "k", c.value);
    EXPECT_EQ(ini.ReadValue("s", "k", "def"), c.value) << c.fence << " [" << c.value << "]";
    EXPECT_EQ(ReadFileBytes(ini.ResolvedPath()), "[s]\r\n" + c.line + "\r\n") << c.fence;
  }
  // What a read cannot give back is refused by key, and the file stays.
  TIniGT ini = With("[s]\r\nPasswd=old\r\n");
  for (const auto& value : {std::string(2048, 'x'), " " + std::string(2046, 'x') + " "}) {
    try {
      ini.WriteValue("s", "Passwd", value);
      ADD_FAILURE() << "stored";
    } catch (const EIniValueError& e) {
      EXPECT_NE(std::string(e.what()).find("Passwd"), std::string::npos);
      EXPECT_EQ(std::string(e.what()).find("xxx"), std::string::npos);
    }
  }
  EXPECT_EQ(ReadFileBytes(ini.ResolvedPath()), "[s]\r\nPasswd=old\r\n");
  // Lines written by hand or by earlier versions read as they always did.
  TIniGT old = With("[s]\r\na= spaced \r\nb=\"x\"\r\nc='y'\r\n");
  EXPECT_EQ(old.ReadValue("s", "a", ""), "spaced");
  EXPECT_EQ(old.ReadValue("s", "b", ""), "x");
  EXPECT_EQ(old.ReadValue("s", "c", ""), "y");
}

TEST_F(IniGTTest, WriteErrorNamesTheResolvedPath) {
  TIniGT ini;
  ini.SetFileName("missing/folder.ini");
  try {
    ini.WriteRaw("s", "k", "v");
    FAIL() << "no error";
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()), "missing/folder.ini に書き込めません");
  }
  ini.SetFileName("ok.ini");  // later writes are tried normally
  ini.WriteRaw("s", "k", "v");
  EXPECT_EQ(ini.ReadRaw("s", "k", ""), "v");
}

TEST_F(IniGTTest, Placement) {
  const TWindowPlacement current{0, 1, -1, -1, 10, 20, 810, 449};
  TIniGT empty = With("");
  TWindowPlacement p = current;
  empty.LoadPlacement("window", "main", p);
  EXPECT_EQ(p, current);

  TIniGT onlyShow = With("[window]\r\nmain.Show=3\r\n");
  p = current;
  onlyShow.LoadPlacement("window", "main", p);
  TWindowPlacement maximized = current;
  maximized.showCmd = 3;
  EXPECT_EQ(p, maximized);

  TIniGT ini = With("[window]\r\nother=keep\r\n");
  const TWindowPlacement saved{2, 3, -8, -8, 100, 50, 881, 479};
  ini.SavePlacement("window", "sightedit", saved);
  EXPECT_EQ(ReadFileBytes(ini.ResolvedPath()),
            "[window]\r\nother=keep\r\nsightedit.Flags=2\r\nsightedit.Show=3\r\nsightedit.MaxX=-8\r\n"
            "sightedit.MaxY=-8\r\nsightedit.X=100\r\nsightedit.Y=50\r\nsightedit.XSize=881\r\nsightedit.YSize=479\r\n");
  p = current;
  ini.LoadPlacement("window", "sightedit", p);
  EXPECT_EQ(p, saved);
}

}  // namespace
}  // namespace tovra
