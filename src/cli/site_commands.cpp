// tovra-cli sites / site show|set|delete|secure: the site list and the site
// profiles of the application folder, edited through the same decisions as
// the site information dialog. Messages and questions go to stderr; a
// refusal exits 1.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_messenger.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/site_editor.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"
#include "util/char_string.h"

namespace tovra::cli {
namespace {

const TSyntax kSites{"sites", {}, "", "the site list, one name per line"};
const TSyntax kShow{"site show",
                    {{"--show-passwords", nullptr, "show the passwords instead of ********"}},
                    "NAME",
                    "the site's profile, one key=value per line"};
const TSyntax kSet{"site set",
                   {{"--rename", "NEW", "give the site a new name"}, kYesOption, kNoOption},
                   "NAME KEY=VALUE...",
                   "create or edit a site, then write the site list\n"
                   "(keys: chkUseProxy LocalRootDir WebURL WebHostName\n"
                   "WebUserName WebPasswd WebPort ProxyPasswd ProxyPort\n"
                   "ProxyHostName ProxyUserName; extended settings:\n"
                   "DataConnection Encryption CertificateSha256\n"
                   "PageEncoding RemoteNameEncoding ReuseConnection\n"
                   "Connections Protocol HostKeySha256 PrivateKeyFile\n"
                   "PasswordStore References AtomicUpload\n"
                   "PublishExclude)"};
const TSyntax kDelete{"site delete", {kYesOption, kNoOption}, "NAME", "delete a site after confirmation"};
const TSyntax kSecure{"site secure",
                      {{"--all", nullptr, "every site of the list"}},
                      "(NAME | --all)",
                      "move the sites' passwords from their profiles\n"
                      "into the desktop's keyring (PasswordStore=keyring)"};

constexpr char kMask[] = "********";

// The dialog's tree would show a stored root that has gone as unselectable;
// here the profile still loads (with a warning), so it can be shown and mended.
class TerminalFolderTree : public IFolderTree {
 public:
  std::string SelectedFolder() const override { return selected_; }
  void SelectFolder(const std::string& path) override {
    if (!path.empty() && !DirectoryExists(path)) PrintError(EPathSettingError(path).what());
    selected_ = path;
  }

 private:
  std::string selected_;
};

struct ProfileKey {
  const char* name;
  std::function<std::string(const TSiteProfile&)> get;
  std::function<void(TSiteProfile&, const std::string&)> set;
  bool secret = false;
};

int NumberArgument(const std::string& key, const std::string& text) {
  std::int32_t value = 0;
  if (!ParseIniNumber(CharTrim(text), value)) throw UsageError{key + " needs a number: " + text};
  return value;
}

std::string AbsoluteFolder(std::string path) {
  if (!path.empty() && path[0] != kPathSep) {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) != nullptr) path = JoinPath(FromOsPath(cwd), path);
  }
  // As a folder tree reports it: no trailing separator except on the root.
  while (path.size() > 1 && path.back() == kPathSep) path.pop_back();
  return path;
}

void SetRoot(TSiteProfile& p, const std::string& text) {
  std::string path = AbsoluteFolder(text);
  TFolderSelection().SelectFolder(path);  // the folder must exist
  p.ChooseRootFolder(path);
}

#define TOVRA_TEXT_KEY(field, secret)                                                                        \
  {                                                                                                          \
#field, [](const TSiteProfile& p) { return p.field; }, [](TSiteProfile & p,                              \
                                                              const std::string& v) { p.field = v; }, secret \
  }
#define TOVRA_PORT_KEY(field)                                                                                          \
  {                                                                                                                    \
#field,                                                                                                            \
        [](const TSiteProfile& p) { return std::to_string(p.field); },                                                 \
                                                                    [](TSiteProfile & p,                               \
                                                                       const std::string&                              \
                                                                           v) { p.field = NumberArgument(#field, v); } \
  }

// In the order of the profile file.
const std::vector<ProfileKey>& ProfileKeys() {
  static const std::vector<ProfileKey> keys{
      {"chkUseProxy", [](const TSiteProfile& p) { return std::string(p.chkUseProxy ? "1" : "0"); },
       [](TSiteProfile& p, const std::string& v) { p.chkUseProxy = NumberArgument("chkUseProxy", v) != 0; }},
      {"LocalRootDir", [](const TSiteProfile& p) { return p.LocalRootDir; }, SetRoot},
      TOVRA_TEXT_KEY(WebURL, false),
      TOVRA_TEXT_KEY(WebHostName, false),
      TOVRA_TEXT_KEY(WebUserName, false),
      TOVRA_TEXT_KEY(WebPasswd, true),
      TOVRA_PORT_KEY(WebPort),
      TOVRA_TEXT_KEY(ProxyPasswd, true),
      TOVRA_PORT_KEY(ProxyPort),
      TOVRA_TEXT_KEY(ProxyHostName, false),
      TOVRA_TEXT_KEY(ProxyUserName, false),
  };
  return keys;
}

#undef TOVRA_TEXT_KEY
#undef TOVRA_PORT_KEY

// The keys of the section "[拡張設定]"; a value the key does not accept is
// refused with an error naming the key. Only stored keys are shown.
const std::vector<ProfileKey>& ExtendedKeys() {
  static const std::vector<ProfileKey> keys = [] {
    std::vector<ProfileKey> list;
    for (const auto& key : TExtendedSettings::Keys()) {
      std::string name = key.name;
      list.push_back({key.name, [name](const TSiteProfile& p) { return p.Extended.Stored(name).value_or(""); },
                      [name](TSiteProfile& p, const std::string& v) { p.Extended.Set(name, CharTrim(v)); }});
    }
    return list;
  }();
  return keys;
}

const ProfileKey& FindKey(const std::string& name) {
  for (const auto* keys : {&ProfileKeys(), &ExtendedKeys()}) {
    for (const auto& key : *keys) {
      if (SameTextNoCase(key.name, name)) return key;
    }
  }
  throw UsageError{"unknown key: " + name};
}

std::string TakeName(Args& args) {
  if (args.empty()) throw UsageError{"a site name is needed"};
  std::string name = args[0];
  args.erase(args.begin());
  return name;
}

// The profile holder of one command, with the terminal's tree.
struct ProfileHolder {
  TConfigFile config;
  TerminalFolderTree tree;
  TSiteProfile profile{config};
  ProfileHolder() { profile.SetFolderTree(&tree); }
};

// Runs the dialog's OK on the prepared profile; writes the list when it closes.
int CloseWithOk(TSiteEditor& editor, TSiteProfile& profile, TStringList& list) {
  if (editor.Button1Click() != TModalResult::Ok) return kExitFailure;
  const std::string name = profile.CurrentSiteName();
  if (!CharTrim(name).empty()) AddCreatedSite(list, name);
  SaveSiteList(list);
  return kExitOk;
}

int ShowSite(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kShow, given);
  Args args = parsed.Operands();
  const bool showPasswords = parsed.Has("--show-passwords");
  std::string name = TakeName(args);
  if (!args.empty()) throw UsageError{"unexpected argument: " + args[0]};
  ProfileHolder s;
  LoadNamedSite(s.profile, name);
  for (const auto& key : ProfileKeys()) {
    std::string value = key.get(s.profile);
    if (key.secret && !showPasswords && !value.empty()) value = kMask;
    PrintLine(std::string(key.name) + "=" + value);
  }
  for (const auto& key : ExtendedKeys()) {
    if (s.profile.Extended.Stored(key.name)) PrintLine(std::string(key.name) + "=" + key.get(s.profile));
    // A value no key accepts is shown as it stands, with what a connection makes of it.
    if (auto bad = s.profile.Extended.Unreadable(key.name)) {
      PrintLine(std::string(key.name) + "=" + *bad +
                (TExtendedSettings::AbsentIsSafe(key.name) ? "  (読めない値です: 無いときと同じに扱います)"
                                                           : "  (読めない値です: この値のままでは接続しません)"));
    }
  }
  return kExitOk;
}

// A site created while no keyring answers keeps its passwords in its
// profile: said once, unless the command chose the store itself.
void NoteFileStore(const TSiteProfile& profile, bool created,
                   const std::vector<std::pair<const ProfileKey*, std::string>>& changes) {
  if (!created || profile.Extended.PasswordStore() != TPasswordStore::File) return;
  for (const auto& change : changes) {
    if (SameTextNoCase(change.first->name, "PasswordStore")) return;
  }
  PrintError("キーリングが利用できないため、パスワードはプロファイルに保存されます。");
}

int SetSite(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kSet, given);
  Args args = parsed.Operands();
  TCliMessenger messenger(AnswerOf(parsed));
  const bool rename = parsed.Has("--rename");
  const std::string newName = parsed.Value("--rename");
  std::string name = TakeName(args);
  std::vector<std::pair<const ProfileKey*, std::string>> changes;
  for (const auto& arg : args) {
    std::size_t eq = arg.find('=');
    if (eq == std::string::npos) throw UsageError{"KEY=VALUE expected: " + arg};
    changes.emplace_back(&FindKey(arg.substr(0, eq)), arg.substr(eq + 1));
  }
  ProfileHolder s;
  TStringList list = LoadSiteList();
  int index = list.IndexOf(name);
  if (index >= 0) {
    s.profile.LoadProfile(list[index]);
  } else if (rename) {
    throw EUnknownSiteError(name);
  } else {
    s.profile.LoadProfile(std::string(kNewSiteName));  // a site to create
  }
  TSiteEditor editor(s.profile, messenger);
  editor.SetSiteList(&list);
  editor.FormShow();
  s.profile.edName = rename ? newName : (index >= 0 ? list[index] : name);
  for (const auto& [key, value] : changes) key->set(s.profile, value);
  const int status = CloseWithOk(editor, s.profile, list);
  if (status == kExitOk) NoteFileStore(s.profile, index < 0, changes);
  return status;
}

int DeleteSite(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kDelete, given);
  Args args = parsed.Operands();
  TCliMessenger messenger(AnswerOf(parsed));
  std::string name = TakeName(args);
  if (!args.empty()) throw UsageError{"unexpected argument: " + args[0]};
  ProfileHolder s;
  TStringList list = LoadSiteList();
  LoadNamedSite(s.profile, list, name);
  TSiteEditor editor(s.profile, messenger);
  editor.SetSiteList(&list);
  editor.FormShow();
  s.profile.edName.clear();  // a blank name asks for deletion
  return CloseWithOk(editor, s.profile, list);
}

// Moves one site's plain passwords into the keyring; a site already there
// is left as it is.
void SecureSite(const std::string& name) {
  ProfileHolder s;
  s.profile.LoadProfile(name);
  if (s.profile.Extended.PasswordStore() == TPasswordStore::Keyring) {
    PrintLine(name + ": パスワードはすでにキーリングにあります");
    return;
  }
  s.profile.Extended.Set("PasswordStore", "keyring");
  s.profile.SaveProfile();
  PrintLine(name + ": パスワードをキーリングに移しました");
}

int SecureSites(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kSecure, given);
  Args args = parsed.Operands();
  const bool all = parsed.Has("--all");
  TStringList list = LoadSiteList();
  std::vector<std::string> names;
  if (all) {
    for (const auto& name : list) {
      if (name != kNewSiteName) names.push_back(name);
    }
  } else {
    std::string name = TakeName(args);
    int index = list.IndexOf(name);
    if (index < 0) throw EUnknownSiteError(name);
    names.push_back(list[index]);
  }
  if (!args.empty()) throw UsageError{"unexpected argument: " + args[0]};
  for (const auto& name : names) SecureSite(name);
  return kExitOk;
}

int RunSite(const Args& all) {
  if (all.empty()) throw UsageError{"show, set, delete or secure expected"};
  Args args(all.begin() + 1, all.end());
  if (all[0] == "show") return ShowSite(args);
  if (all[0] == "set") return SetSite(args);
  if (all[0] == "delete") return DeleteSite(args);
  if (all[0] == "secure") return SecureSites(args);
  throw UsageError{"unknown site command: " + all[0]};
}

int RunSites(const Args& given) {
  const Args args = ParseArgs(kSites, given).Operands();
  if (!args.empty()) throw UsageError{"unexpected argument: " + args[0]};
  for (const auto& name : LoadSiteList()) PrintLine(name);
  return kExitOk;
}

}  // namespace

void RegisterSiteCommands() {
  Commands().push_back({"sites", UsageOf(kSites), RunSites});
  Commands().push_back({"site", UsageOf({&kShow, &kSet, &kDelete, &kSecure}), RunSite});
}

}  // namespace tovra::cli
