#include "app/web_check.h"

#include "platform/files.h"
#include "platform/path_pieces.h"
#include "platform/process.h"
#include "util/char_string.h"

namespace tovra {

std::string WebCheckUrl(const std::string& url, const std::string& root, const std::string& path) {
  std::string rest;
  if (!PathBelowRoot(root, path, rest)) return {};
  std::string joint = url;
  while (!joint.empty() && joint.back() == '/') joint.pop_back();
  // The separator of local paths becomes the URL's slash.
  return joint + ReplaceAll(rest, std::string(1, kPathSep), "/");
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
  if (url.empty()) {
    messenger.ShowMessage(TMessageKind::Warning, "そのファイルはサイトのフォルダーの外にあります。");
    return {};
  }
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
