#include "sites/ini_document.h"

#include <gtest/gtest.h>

namespace tovra {
namespace {

using namespace std::string_literals;

std::string Lookup(const TIniDocument& doc, std::string_view section, std::string_view key) {
  std::string value;
  return doc.Find(section, key, value) ? value : "<absent>";
}

TEST(IniDocument, LookupRules) {
  const TIniDocument doc(
      "; comment\r\n"
      "orphan=before any section\r\n"
      "[Main]\r\n"
      "  Key = spaced value  \r\n"
      "quoted=\"  inner blanks  \"\r\n"
      "single='x'\r\n"
      "twice=\"\"x\"\"\r\n"
      "lonequote=\"\r\n"
      "garbage line without equals\r\n"
      "empty=\r\n"
      "nul=ab\0cd\r\n"
      "[ \x83\x5C\x83\x67 ]\n"  // a section named with a 0x5C trail byte, LF only
      "k=v\r"
      "[Other]\r\n"
      "Key=other\r\n"s);
  struct Case {
    const char* section;
    const char* key;
    std::string expected;
  } cases[] = {
      {"main", "KEY", "spaced value"},         // names ignore case; blanks trimmed
      {"Main", "quoted", "  inner blanks  "},  // one pair of quotes dropped, inner blanks kept
      {"Main", "single", "x"},
      {"Main", "twice", "\"x\""},  // only one pair
      {"Main", "lonequote", "\""},
      {"Main", "empty", ""},
      {"Main", "nul", "ab"},  // a NUL ends what the lookup sees
      {"Main", "garbage line without equals", "<absent>"},
      {"Main", "orphan", "<absent>"},
      {"\x83\x5C\x83\x67", "k", "v"},
      {"Other", "key", "other"},
      {"Missing", "key", "<absent>"},
      {"Main", "missing", "<absent>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Lookup(doc, c.section, c.key), c.expected) << c.section << "/" << c.key;
}

TEST(IniDocument, LongValuesAreCutOnACharacterBoundary) {
  const std::string ascii(3000, 'a');
  EXPECT_EQ(Lookup(TIniDocument("[s]\r\nk=" + ascii + "\r\n"), "s", "k"), std::string(2047, 'a'));
  // 2046 ASCII bytes then a double-byte character straddling the limit.
  const std::string straddle = std::string(2046, 'a') + "\x83\x41" + "tail";
  EXPECT_EQ(Lookup(TIniDocument("[s]\r\nk=" + straddle + "\r\n"), "s", "k"), std::string(2046, 'a'));
}

TEST(IniDocument, SetKeepsEverythingElseAndAddsInPlace) {
  TIniDocument doc(
      "; top comment\r\n"
      "[A]\r\n"
      "x=1\r\n"
      "junk\r\n"
      "\r\n"
      "[B]\r\n"
      "y=2");
  doc.Set("a", "X", "10");   // replaced where it stands
  doc.Set("A", "z", "3");    // added after the section's last line, before the blank line
  doc.Set("C", "w", "4");    // a new section at the end, after a blank line
  doc.Set("b", "y", " 5 ");  // stored exactly as passed
  EXPECT_EQ(doc.Text(),
            "; top comment\r\n"
            "[A]\r\n"
            "X=10\r\n"
            "junk\r\n"
            "z=3\r\n"
            "\r\n"
            "[B]\r\n"
            "y= 5 \r\n"
            "\r\n"
            "[C]\r\n"
            "w=4\r\n");
}

TEST(IniDocument, EraseTakesOutEveryLineOfTheKeyInItsSectionOnly) {
  const std::string text =
      "[A]\r\n"
      "k=1\r\n"
      "; k=comment\r\n"
      "K = 2\r\n"
      "other=3\r\n"
      "[B]\r\n"
      "k=4\r\n";
  struct Case {
    std::string section, key;
    bool erased;
    std::string after;
  } cases[] = {
      {"a", "K", true, "[A]\r\n; k=comment\r\nother=3\r\n[B]\r\nk=4\r\n"},
      {"B", "k", true, "[A]\r\nk=1\r\n; k=comment\r\nK = 2\r\nother=3\r\n[B]\r\n"},
      {"A", "missing", false, text},
      {"C", "k", false, text},
  };
  for (const auto& c : cases) {
    TIniDocument doc(text);
    EXPECT_EQ(doc.Erase(c.section, c.key), c.erased) << c.section << " " << c.key;
    EXPECT_EQ(doc.Text(), c.after) << c.section << " " << c.key;
    std::string value;
    EXPECT_FALSE(doc.Find(c.section, c.key, value)) << c.section << " " << c.key;
  }
}

TEST(IniDocument, UntouchedLinesKeepTheirBytes) {
  TIniDocument doc("[A]\r\nodd=ab\0cd\r\nlone=\x83\r\n"s);
  doc.Set("A", "new", "v");
  EXPECT_EQ(doc.Text(), "[A]\r\nodd=ab\0cd\r\nlone=\x83\r\nnew=v\r\n"s);
}

TEST(IniDocument, TextsThatCannotBeStoredOnOneLine) {
  struct Case {
    std::string section, key, value;
    bool storable;
  } cases[] = {
      {"s", "k", "plain \x83\x5C value", true},
      {"\x8a\xee\x93\x5f", "k", "", true},
      {"s", "k", "two\r\nlines", false},
      {"s", "k", "nul\0"s, false},
      {"s", "a=b", "v", false},
      {"s", ";k", "v", false},
      {"s", "[k", "v", false},
      {"s]", "k", "v", false},
      {"s\n", "k", "v", false},
      {"", "k", "v", false},
      {"s", "", "v", false},
      {"s", " k", "v", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsStorableIniText(c.section, c.key, c.value), c.storable) << c.key;
}

}  // namespace
}  // namespace tovra
