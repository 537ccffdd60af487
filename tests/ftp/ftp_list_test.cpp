#include "ftp/ftp_list.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/temp_dir.h"
#include "util/date_time.h"

namespace tovra {
namespace {

using test::Hex;
constexpr TListDate kToday{2026, 12, 8};
constexpr double kMsDay = 1.0 / 86400000.0;

TIdFTPListItems Parse(std::string_view text, TListDate today = kToday) {
  TStringList lines;
  lines.SetText(text);
  return BuildParsedListing(lines, today);
}

double Days(int y, int m, int d, int h = 0, int min = 0, int ms = 999) {
  return EncodeDateTime(y, m, d, h, min, 0, ms);
}

// Real bytes sent by three servers for one folder (CP932 and UTF-8 names,
// two 0x5C trail bytes in one of them).
const char kProftpd[] =
    "-rw-r--r--   1 web      web           123 Jan  2  2020 old.txt\r\n"
    "drwxr-xr-x   2 web      web          4096 Dec  8 09:28 subdir\r\n"
    "-rw-r--r--   1 web      web           123 Dec  8 09:28 with space.txt\r\n"
    "-rw-r--r--   1 web      web           123 Dec  8 09:28 \x93\xfa\x96{\x8c\xea.txt\r\n"
    "-rw-r--r--   1 web      web           123 Dec  8 09:28 \x95\x5c\x8e\xa6\x83\x5c.txt\r\n"
    "drwxr-xr-x   2 web      web          4096 Dec  8 09:28 \xe3\x82\xb5\xe3\x83\x96\xe3\x83\x95\xe3\x82\xa9"
    "\xe3\x83\xab\xe3\x83\x80\r\n";
const char kVsftpd[] =
    "-rw-r--r--    1 999      995           123 Jan 02  2020 old.txt\r\n"
    "drwxr-xr-x    2 999      995          4096 Dec 08 09:28 subdir\r\n"
    "-rw-r--r--    1 999      995           123 Dec 08 09:28 with space.txt\r\n"
    "-rw-r--r--    1 999      995           123 Dec 08 09:28 \x93\xfa\x96{\x8c\xea.txt\r\n"
    "-rw-r--r--    1 999      995           123 Dec 08 09:28 \x95\x5c\x8e\xa6\x83\x5c.txt\r\n"
    "drwxr-xr-x    2 999      995          4096 Dec 08 09:28 \xe3\x82\xb5\xe3\x83\x96\xe3\x83\x95\xe3\x82\xa9"
    "\xe3\x83\xab\xe3\x83\x80\r\n";
const char kPyftpdlib[] =
    "-rw-r--r--   1 root     root          123 Dec 08 09:28 .htaccess\r\n"
    "-rw-r--r--   1 root     root          123 Jan 02  2020 old.txt\r\n"
    "drwxr-xr-x   2 root     root         4096 Dec 08 09:28 subdir\r\n"
    "-rw-r--r--   1 root     root          123 Dec 08 09:28 with space.txt\r\n"
    "-rw-r--r--   1 root     root          123 Dec 08 09:28 \x93\xfa\x96{\x8c\xea.txt\r\n"
    "-rw-r--r--   1 root     root          123 Dec 08 09:28 \x95\x5c\x8e\xa6\x83\x5c.txt\r\n";

TEST(ParsedListing, RealServerListings) {
  for (const char* listing : {kProftpd, kVsftpd, kPyftpdlib}) {
    SCOPED_TRACE(listing);
    TIdFTPListItems items = Parse(listing);
    EXPECT_EQ(items.ListFormat, TIdFTPListFormat::flfUnix);
    std::map<std::string, const TIdFTPListItem*> byName;
    for (const auto& item : items) byName[item.FileName] = &item;
    ASSERT_TRUE(byName.count("old.txt"));
    EXPECT_EQ(byName["old.txt"]->ModifiedDate, Days(2020, 1, 2));
    EXPECT_EQ(byName["old.txt"]->Size, 123);
    ASSERT_TRUE(byName.count("subdir"));
    EXPECT_EQ(byName["subdir"]->ItemType, TIdDirItemType::ditDirectory);
    EXPECT_NEAR(byName["subdir"]->ModifiedDate, Days(2026, 12, 8, 9, 28), kMsDay);
    EXPECT_EQ(byName["subdir"]->OwnerPermissions, "rwx");
    EXPECT_EQ(byName["subdir"]->GroupPermissions, "r-x");
    EXPECT_EQ(byName["subdir"]->UserPermissions, "r-x");
    EXPECT_EQ(byName["subdir"]->ItemCount, 2);
    EXPECT_TRUE(byName.count("with space.txt"));
    EXPECT_TRUE(byName.count("\x93\xfa\x96{\x8c\xea.txt"));
    ASSERT_TRUE(byName.count("\x95\x5c\x8e\xa6\x83\x5c.txt"));
    EXPECT_EQ(byName["\x95\x5c\x8e\xa6\x83\x5c.txt"]->ItemType, TIdDirItemType::ditFile);
  }
  EXPECT_EQ(Parse(kVsftpd)[0].OwnerName, "999");
  EXPECT_EQ(Parse(kVsftpd)[0].GroupName, "995");
  EXPECT_EQ(Parse(kVsftpd)[0].Data, "-rw-r--r--    1 999      995           123 Jan 02  2020 old.txt");
}

struct LineCase {
  const char* name;
  std::string listing;
  TIdFTPListFormat format;
  std::vector<std::string> names;  // file names of the entries, in order
  TIdDirItemType firstType = TIdDirItemType::ditFile;
};

class ListingCases : public ::testing::TestWithParam<LineCase> {};

TEST_P(ListingCases, FormatAndEntries) {
  const LineCase& c = GetParam();
  TIdFTPListItems items = Parse(c.listing);
  EXPECT_EQ(items.ListFormat, c.format);
  std::vector<std::string> names;
  for (const auto& item : items) names.push_back(item.FileName);
  EXPECT_EQ(names, c.names);
  if (!names.empty()) {
    EXPECT_EQ(items[0].ItemType, c.firstType);
  }
}

const std::string kDir = "drwxr-xr-x   2 web web 4096 Dec 08 09:28 images\r\n";
const std::string kFile = "-rw-r--r--   1 web web  123 Dec 08 09:28 index.html\r\n";

INSTANTIATE_TEST_SUITE_P(
    Unix, ListingCases,
    ::testing::Values(
        LineCase{"TotalLineSkipped",
                 "total 12\r\n" + kDir,
                 TIdFTPListFormat::flfUnix,
                 {"images"},
                 TIdDirItemType::ditDirectory},
        LineCase{"LowerCaseTotalSkipped", "total 0\r\n" + kFile, TIdFTPListFormat::flfUnix, {"index.html"}},
        LineCase{
            "SecondTotalClearsWhatCameBefore", kDir + "total 5\r\n" + kFile, TIdFTPListFormat::flfUnix, {"index.html"}},
        LineCase{"JapaneseMonthClearsWhatCameBefore",
                 kDir + kFile + "-rw-r--r-- 1 web web 9 Dec\x8c\x8e 08 09:28 a.txt\r\n",
                 TIdFTPListFormat::flfUnix,
                 {}},
        LineCase{"KanjiMonthFails",
                 kDir + "-rw-r--r-- 1 web web 9 12\x8c\x8e 8 09:28 a.txt\r\n" + kFile,
                 TIdFTPListFormat::flfUnix,
                 {"index.html"}},
        LineCase{"ImpossibleDateFails",
                 kDir + "-rw-r--r-- 1 web web 9 Feb 30 2020 a.txt\r\n",
                 TIdFTPListFormat::flfUnix,
                 {}},
        LineCase{"BlankLinesSkipped",
                 kDir + "  \t \r\n\r\n" + kFile,
                 TIdFTPListFormat::flfUnix,
                 {"images", "index.html"},
                 TIdDirItemType::ditDirectory},
        LineCase{"RunsOfSpacesInNamesBecomeOne",
                 "-rw-r--r-- 1 web web 1 Dec 08 09:28 a   b  c.txt  \r\n",
                 TIdFTPListFormat::flfUnix,
                 {"a b c.txt"}},
        LineCase{"SymbolicLinkSplitsAtArrow",
                 "lrwxrwxrwx 1 web web 7 Dec 08 09:28 www -> public html\r\n",
                 TIdFTPListFormat::flfUnix,
                 {"www"},
                 TIdDirItemType::ditSymbolicLink},
        LineCase{"NoGroupColumn", "-rw-r--r-- 1 web 123 Dec 08 09:28 a.txt\r\n", TIdFTPListFormat::flfUnix, {"a.txt"}},
        LineCase{"SetGidFolderFirstIsStillUnix",
                 "drwxr-sr-x 2 web web 4096 Dec 08 09:28 shared\r\n" + kFile,
                 TIdFTPListFormat::flfUnix,
                 {"shared", "index.html"},
                 TIdDirItemType::ditDirectory},
        LineCase{"UnknownFirstLineGivesNothing", "hello world\r\n" + kDir, TIdFTPListFormat::flfUnknown, {}},
        LineCase{"EmptyListing", "", TIdFTPListFormat::flfUnix, {}},
        LineCase{"VaxStyleUsesTheUnixReader",
                 "Directory DSK:[WEB]\r\n" + kDir,
                 TIdFTPListFormat::flfVax,
                 {"images"},
                 TIdDirItemType::ditDirectory}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Dos, ListingCases,
                         ::testing::Values(LineCase{"DirMarker",
                                                    "12-08-26  10:30AM       <DIR>          My  Pages\r\n"
                                                    "12-08-26  10:31PM             1,234,567 report 2026.txt\r\n",
                                                    TIdFTPListFormat::flfDos,
                                                    {"My  Pages", "report 2026.txt"},
                                                    TIdDirItemType::ditDirectory},
                                           LineCase{"SizeInColumns",
                                                    "12-08-26  10:30PM                 1234 a.txt\r\n",
                                                    TIdFTPListFormat::flfDos,
                                                    {"a.txt"}},
                                           LineCase{"SlashDates",
                                                    "12/08/26  10:30" + std::string(9, ' ') + "<DIR>          img\r\n",
                                                    TIdFTPListFormat::flfDos,
                                                    {"img"},
                                                    TIdDirItemType::ditDirectory}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseUnixEntry, FieldsOfAnEntry) {
  TIdFTPListItem item;
  item.Data = "-rw-r--r-- 1 web 123 Dec 08 09:28 a.txt";
  ParseUnixEntry(item, kToday);
  EXPECT_EQ(item.OwnerName, "");
  EXPECT_EQ(item.GroupName, "web");
  EXPECT_EQ(item.Size, 123);

  TIdFTPListItem link;
  link.Data = "lrwxrwxrwx 1 web web 7 Dec 08 09:28 www -> public html";
  ParseUnixEntry(link, kToday);
  EXPECT_EQ(link.LinkedItemName, "public html");

  TIdFTPListItem odd;
  odd.Data = "-rw-r--r-- x web web big Dec xx 09:zz a.txt";
  ParseUnixEntry(odd, kToday);
  EXPECT_EQ(odd.ItemCount, 0);
  EXPECT_EQ(odd.Size, 0);
  EXPECT_NEAR(odd.ModifiedDate, Days(2026, 12, 8, 9, 0), kMsDay);  // day and minute fall back

  TIdFTPListItem fresh;
  EXPECT_EQ(fresh.OwnerName, "????????");
  EXPECT_EQ(fresh.UserPermissions, "???");
}

TEST(ParseUnixEntry, TimeFormYearDependsOnTheMonth) {
  struct Case {
    const char* date;
    TListDate today;
    double expected;
  } cases[] = {
      {"Dec 08 09:28", {2026, 12, 8}, Days(2026, 12, 8, 9, 28)},
      {"Dec 08 09:28", {2026, 3, 1}, Days(2025, 12, 8, 9, 28)},  // a later month is last year
      {"Mar 01 23:59", {2026, 3, 1}, Days(2026, 3, 1, 23, 59)},
      {"Jan 02  2020", {2026, 12, 8}, Days(2020, 1, 2)},
      {"aug 12 2026", {2026, 12, 8}, Days(2026, 8, 12)},
  };
  for (const auto& c : cases) {
    TIdFTPListItem item;
    item.Data = std::string("-rw-r--r-- 1 web web 1 ") + c.date + " a.txt";
    ParseUnixEntry(item, c.today);
    EXPECT_NEAR(item.ModifiedDate, c.expected, kMsDay) << c.date;
  }
  EXPECT_DOUBLE_EQ(Days(2026, 12, 8, 0, 0, 0), 46364.0);
  EXPECT_DOUBLE_EQ(Days(1899, 12, 30, 0, 0, 0), 0.0);
}

TEST(ParseUnixEntry, TooFewFieldsFail) {
  for (const char* line : {"total 5", "drwxr-xr-x 2 web web 4096 Dec 08", "-rw-r--r-- 1 web web 1 Dec 08 25:00 a"}) {
    TIdFTPListItem item;
    item.Data = line;
    EXPECT_ANY_THROW(ParseUnixEntry(item, kToday)) << line;
  }
}

TEST(ParseDosEntry, DateSizeAndName) {
  TIdFTPListItem item;
  item.Data = "12-08-26  10:31PM             1,234,567 report 2026.txt";
  ParseDosEntry(item, kToday);
  EXPECT_EQ(item.Size, 1234567);
  EXPECT_EQ(item.FileName, "report 2026.txt");
  EXPECT_NEAR(item.ModifiedDate, Days(2026, 12, 8, 22, 31, 0), kMsDay);

  TIdFTPListItem bad;
  bad.Data = "xx-yy-zz  ab:cdQQ       <DIR>          img";
  ParseDosEntry(bad, kToday);  // an unreadable date is 0, not a failure
  EXPECT_EQ(bad.ModifiedDate, 0);
  EXPECT_EQ(bad.ItemType, TIdDirItemType::ditDirectory);
}

TEST(ParsedListing, ListingsOfAnyShapeNeverRaise) {
  // Fragments of real lines recombined at random, plus raw random bytes.
  const std::string pieces[] = {"drwxr-xr-x", "-rw-r--r--",
                                "lrwxrwxrwx", "total",
                                " ",          "  ",
                                "\t",         "1",
                                "web",        "4096",
                                "Dec",        "08",
                                "09:28",      "2020",
                                "->",         "<DIR>",
                                "12-08-26",   "10:30AM",
                                "1,234",      "DSK:",
                                "\x93\xfa",   "\x95",
                                "\r\n",       "\n",
                                "\r",         std::string(1, '\0'),
                                ":",          "99:99"};
  std::uint32_t x = 12345;
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return x >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int parts = static_cast<int>(next() % 40);
    for (int i = 0; i < parts; ++i) {
      text += next() % 5 == 0 ? std::string(1, static_cast<char>(next())) : pieces[next() % std::size(pieces)];
    }
    TStringList lines;
    lines.SetText(text);
    EXPECT_NO_THROW(BuildParsedListing(lines, kToday)) << text;
  }
}

TEST(CheckListFormat, FirstLineShapes) {
  struct Case {
    const char* line;
    TIdFTPListFormat format;
  } cases[] = {
      {"-rw-r--r-- 1 a b 1 Dec 08 09:28 x", TIdFTPListFormat::flfUnix},
      {"LRWXRWXRWX", TIdFTPListFormat::flfUnix},
      {"drwxr-xr-", TIdFTPListFormat::flfUnknown},  // shorter than a mode field
      {"drwxr-xr-q 2 a b", TIdFTPListFormat::flfUnknown},
      {"TOTAL 3", TIdFTPListFormat::flfUnix},
      {"USER1:[DIR]DSK:", TIdFTPListFormat::flfVax},
      {"12-08-26  10:30AM       <DIR>          img", TIdFTPListFormat::flfDos},
      {"12-08-26  10:30AM                 12,3 a", TIdFTPListFormat::flfDos},
      {"12-08-26  10:30AM                 12x3 a", TIdFTPListFormat::flfUnknown},
      {"", TIdFTPListFormat::flfUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckListFormat(c.line), c.format) << c.line;
}

}  // namespace
}  // namespace tovra
