#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "upload/upload_job.h"

namespace tovra {
namespace {

// Each letter is one list entry: upper case exists on disk, lower case is
// missing. The missing files come out last entry first; the rest keep order.
struct MissingCase {
  std::string entries;
  std::string kept;
  std::string missing;
};

TEST(RemoveMissingFiles, MissingInReverseListOrderTheRestInOrder) {
  const MissingCase cases[] = {
      {"", "", ""},         {"ABC", "ABC", ""},     {"abc", "", "cba"},         {"aBc", "B", "ca"},
      {"AbCd", "AC", "db"}, {"abCDe", "CD", "eba"}, {"ABcdEfG", "ABEG", "fdc"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    auto path = [&](char letter) { return dir.Sub(std::string(1, letter) + ".gif"); };
    TStringList list;
    for (char letter : c.entries) {
      if (letter >= 'A' && letter <= 'Z') dir.Write(std::string(1, letter) + ".gif", "x");
      list.Add(path(letter));
    }
    TStringList missing;
    missing.Add("left over from an earlier run");
    RemoveMissingFiles(list, missing);

    std::vector<std::string> kept(list.begin(), list.end());
    std::vector<std::string> gone(missing.begin(), missing.end());
    std::vector<std::string> expectedKept, expectedGone;
    for (char letter : c.kept) expectedKept.push_back(path(letter));
    for (char letter : c.missing) expectedGone.push_back(path(letter));
    EXPECT_EQ(kept, expectedKept) << c.entries;
    EXPECT_EQ(gone, expectedGone) << c.entries;
  }
}

}  // namespace
}  // namespace tovra
