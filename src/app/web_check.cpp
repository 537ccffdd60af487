#include "app/web_check.h"

#include "platform/files.h"
#include "platform/process.h"
#include "util/char_string.h"

namespace tovra {

namespace {

std::string LastChar(const std::string& s) {
  int n = CharLength(s);
  return n == 0 ? std::string() : CharCopy(s, n, 1);
}

}  // namespace

std::string WebCheckUrl(const std::string& url, const std::string& root, const std::string& path) {
  std::string joint = url;
  if (LastChar(root) == std::string(1, kPathSep)) {
    if (LastChar(joint) != "/") joint += "/";
  } else if (LastChar(joint) == "/") {
    CharDelete(joint, CharLength(joint), 1);
  }
  std::string rel = path;
  CharDelete(rel, 1, CharLength(root));
  std::string result = joint + rel;
  // The separator of local paths becomes the URL's slash.
  return ReplaceAll(result, std::string(1, kPathSep), "/");
}

std::string WebCheck(const std::vector<std::string>& selectedNames, const std::string& treeFolder,
                     const std::string& webUrl, const std::string& localRoot, IMessenger& messenger,
                     const std::function<void(const std::string&)>& openUrl) {
  if (selectedNames.size() > 1) {
    messenger.ShowMessage(TMessageKind::Warning, "ファイルをひとつだけ選択してください。");
    return {};
  }
  if (selectedNames.empty()) {
    messenger.ShowMessage(TMessageKind::Warning, "ファイルを選択してください。");
    return {};
  }
  std::string url = WebCheckUrl(webUrl, localRoot, JoinPath(treeFolder, selectedNames.front()));
  if (openUrl) openUrl(url);
  return url;
}

void OpenInBrowserOrSay(const std::string& url, IMessenger& messenger) {
  if (OpenUrlInBrowser(url)) return;
  messenger.ShowMessage(TMessageKind::Warning,
                        "ブラウザーを起動できませんでした (xdg-open が無いか、失敗しました)。"
                        "次の URL をブラウザーで開いてください。\n" +
                            url);
}

}  // namespace tovra
