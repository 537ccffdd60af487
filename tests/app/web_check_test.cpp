#include "app/web_check.h"

#include <gtest/gtest.h>

namespace tovra {
namespace {

class RecordingMessenger : public IMessenger {
 public:
  void ShowMessage(TMessageKind, const std::string& text) override { messages.push_back(text); }
  bool ConfirmOkCancel(const std::string&) override { return true; }
  bool ConfirmOkAbort(const std::string&) override { return true; }
  std::vector<std::string> messages;
};

TEST(WebCheckUrl, OneSlashAtTheJoint) {
  struct Case {
    std::string url, root, path, expected;
  } cases[] = {
      {"http://example.jp/~u/", "/web/site", "/web/site/blog/index.html", "http://example.jp/~u/blog/index.html"},
      {"http://example.jp/~u", "/web/site", "/web/site/index.html", "http://example.jp/~u/index.html"},
      {"http://example.jp/~u", "/web/site/", "/web/site/index.html", "http://example.jp/~u/index.html"},
      {"http://example.jp/~u/", "/web/site/", "/web/site/a/b.htm", "http://example.jp/~u/a/b.htm"},
      {"", "/web/site", "/web/site/img/index.htm", "/img/index.htm"},
      {"http://h/", "/", "/index.htm", "http://h/index.htm"},
      // Japanese names pass unchanged (no percent-encoding).
      {"http://h", "/s", "/s/\x93\xfa\x96\x7b.html", "http://h/\x93\xfa\x96\x7b.html"},
      // A sibling folder whose name begins with the root's is not under it.
      {"http://h/", "/web/site", "/web/site2/a.htm", ""},
      {"http://h/", "/web/site", "/web/site/../etc/a.htm", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WebCheckUrl(c.url, c.root, c.path), c.expected) << c.path;
}

TEST(WebCheck, RefusesZeroOrSeveralFiles) {
  RecordingMessenger messenger;
  std::vector<std::string> opened;
  auto open = [&](const std::string& url) { opened.push_back(url); };
  EXPECT_EQ(WebCheck({"a.htm", "b.htm"}, "/s", "http://h/", "/s", messenger, open), "");
  EXPECT_EQ(WebCheck({}, "/s", "http://h/", "/s", messenger, open), "");
  ASSERT_EQ(messenger.messages.size(), 2u);
  EXPECT_EQ(messenger.messages[0], "ファイルをひとつだけ選択してください。");
  EXPECT_EQ(messenger.messages[1], "ファイルを選択してください。");
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(WebCheck({"x.html"}, "/s/d", "http://h/", "/s", messenger, open), "http://h/d/x.html");
  EXPECT_EQ(opened, std::vector<std::string>{"http://h/d/x.html"});
}

}  // namespace
}  // namespace tovra
