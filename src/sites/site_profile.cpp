#include "sites/site_profile.h"

#include "platform/files.h"
#include "platform/secret_store.h"
#include "sites/site_passwords.h"
#include "util/char_string.h"

namespace tovra {

namespace {

// Sections are the captions of the dialog's group boxes; keys are the names
// of its controls.
constexpr char kProxySection[] = "chkUseProxy";
constexpr char kRootSection[] = "基点フォルダー";
constexpr char kWebSection[] = "WEBサーバー情報";
constexpr char kProxyServerSection[] = "Proxyサーバー情報";

// The root of the platform's file system stands in for a profile without a root.
constexpr char kDefaultRoot[] = "/";

// A port the file does not hold: the stored profile never had the key.
constexpr int kAbsentPort = 15;

}  // namespace

EPathSettingError::EPathSettingError(const std::string& path) : ETovraError("パス設定エラー : \"" + path + "\"") {}

void TFolderSelection::SelectFolder(const std::string& path) {
  // A profile saved while no folder was selected holds an empty root; it
  // loads as no selection rather than failing every later load.
  if (!path.empty() && !DirectoryExists(path)) throw EPathSettingError(path);
  // The tree holds a folder without a trailing separator (the root keeps it),
  // so a root stored as "/www/site/" is the same site root as "/www/site".
  selected_ = path;
  while (selected_.size() > 1 && selected_.back() == kPathSep) selected_.pop_back();
}

TSiteProfile::TSiteProfile(TConfigFile& config) : config_(&config) {}

void TSiteProfile::LoadProfile(const std::string& siteName, bool readPasswords) {
  Load(siteName, true, readPasswords);
}

bool TSiteProfile::LoadProfileKeepingMissingRoot(const std::string& siteName) { return Load(siteName, false, true); }

bool TSiteProfile::Load(const std::string& siteName, bool missingRootThrows, bool readPasswords) {
  edName = siteName;
  if (siteName == kNewSiteName) {
    ResetProfile();
    return true;
  }
  TIniGT& ini = config_->IniGT;
  ini.SetFileName(ProfileFileName(siteName));
  // Taken before the fields: a change that lands between the two is either
  // read into a field or kept by the next save.
  loaded_ = ini.Snapshot();
  loadedPath_ = ini.ResolvedPath();
  chkUseProxy = ini.ReadFlag(kProxySection, "chkUseProxy", false);
  LocalRootDir = ini.ReadValue(kRootSection, "LocalRootDir", kDefaultRoot);
  // A site whose folder was deleted is still read whole, so that it can be
  // given a new root or deleted; nothing of another site stays in its fields.
  const bool rootFound = missingRootThrows || LocalRootDir.empty() || DirectoryExists(LocalRootDir);
  if (rootFound) {
    FolderTree().SelectFolder(LocalRootDir);
    FolderTreeChanged();  // the root as the tree holds it
  } else {
    FolderTree().SelectFolder("");
  }
  WebURL = ini.ReadValue(kWebSection, "WebURL", "");
  WebHostName = ini.ReadValue(kWebSection, "WebHostName", "");
  WebUserName = ini.ReadValue(kWebSection, "WebUserName", "");
  WebPasswd = ini.ReadValue(kWebSection, "WebPasswd", "");
  WebPort = ini.ReadNumber(kWebSection, "WebPort", kAbsentPort);
  ProxyPasswd = ini.ReadValue(kProxyServerSection, "ProxyPasswd", "");
  ProxyHostName = ini.ReadValue(kProxyServerSection, "ProxyHostName", "");
  ProxyUserName = ini.ReadValue(kProxyServerSection, "ProxyUserName", "");
  ProxyPort = ini.ReadNumber(kProxyServerSection, "ProxyPort", kAbsentPort);
  Extended.Load(ini);
  keyringSite_.clear();
  passwordsRead_ = true;
  if (Extended.PasswordStore() == TPasswordStore::Keyring) {
    keyringSite_ = siteName;
    passwordsRead_ = false;
    if (!readPasswords) return rootFound;
    TPasswordValues values{WebPasswd, ProxyPasswd};
    ReadKeyringPasswords(siteName, values);
    WebPasswd = values[0];
    ProxyPasswd = values[1];
    passwordsRead_ = true;
  }
  return rootFound;
}

void TSiteProfile::ResetProfile() {
  loaded_.reset();
  WebHostName.clear();
  WebUserName.clear();
  WebPasswd.clear();
  WebPort = 21;
  ProxyHostName.clear();
  ProxyUserName.clear();
  ProxyPasswd.clear();
  ProxyPort = 0;
  chkUseProxy = false;
  WebURL.clear();
  Extended = TExtendedSettings::NewSiteDefaults();
  Extended.Set("PasswordStore", SecretServiceAnswers() ? "keyring" : "file");
  keyringSite_.clear();
  passwordsRead_ = true;
}

void TSiteProfile::SaveProfile() {
  const std::string name = CurrentSiteName();
  TIniGT& ini = config_->IniGT;
  ini.SetFileName(ProfileFileName(name));
  if (!IsProfileFileNameSafe(name)) throw EFileError::CannotWrite(ini.ResolvedPath());
  if (Extended.PasswordStore() == TPasswordStore::File) {
    WriteFile(name, true);
    // The file holds them now; what the keyring held for the site goes.
    if (keyringSite_ == name) ForgetKeyringPasswordsIfReachable(name);
    keyringSite_.clear();
    return;
  }
  CatchUpKeyringPasswords();
  TKeyringPasswordWrite write(name, {WebPasswd, ProxyPasswd});
  try {
    WriteFile(name, false);
  } catch (...) {
    write.Undo();
    throw;
  }
  keyringSite_ = name;
}

void TSiteProfile::CatchUpKeyringPasswords() {
  if (passwordsRead_ || keyringSite_.empty()) return;
  TPasswordValues values;
  ReadKeyringPasswords(keyringSite_, values);
  if (WebPasswd.empty()) WebPasswd = values[0];
  if (ProxyPasswd.empty()) ProxyPasswd = values[1];
  passwordsRead_ = true;
}

void TSiteProfile::WriteFile(const std::string& name, bool passwordsInFile) {
  TIniGT& ini = config_->IniGT;
  ini.SetFileName(ProfileFileName(name));
  TIniUpdate update(ini, loadedPath_ == ini.ResolvedPath() ? loaded_ : std::nullopt);
  ini.WriteFlag(kProxySection, "chkUseProxy", chkUseProxy);
  ini.WriteValue(kRootSection, "LocalRootDir", FolderTree().SelectedFolder());
  ini.WriteValue(kWebSection, "WebURL", WebURL);
  ini.WriteValue(kWebSection, "WebHostName", WebHostName);
  ini.WriteValue(kWebSection, "WebUserName", WebUserName);
  ini.WriteValue(kWebSection, "WebPasswd", passwordsInFile ? WebPasswd : std::string());
  ini.WriteNumber(kWebSection, "WebPort", WebPort);
  ini.WriteValue(kProxyServerSection, "ProxyPasswd", passwordsInFile ? ProxyPasswd : std::string());
  ini.WriteNumber(kProxyServerSection, "ProxyPort", ProxyPort);
  ini.WriteValue(kProxyServerSection, "ProxyHostName", ProxyHostName);
  ini.WriteValue(kProxyServerSection, "ProxyUserName", ProxyUserName);
  Extended.Save(ini);
  loaded_ = update.Commit();
  loadedPath_ = ini.ResolvedPath();
}

void StoreSiteSetting(const std::string& siteName, std::string_view key, std::string_view value) {
  TExtendedSettings checked;
  checked.Set(key, value);
  TConfigFile config;
  TIniGT& ini = config.IniGT;
  ini.SetFileName(ProfileFileName(siteName));
  if (!IsProfileFileNameSafe(siteName) || siteName == kNewSiteName) throw EFileError::CannotWrite(ini.ResolvedPath());
  TIniUpdate update(ini);
  ini.WriteValue(kExtendedSection, key, *checked.Stored(key));
  update.Commit();
}

void TSiteProfile::ChooseRootFolder(const std::string& path) {
  FolderTree().SelectFolder(path);
  FolderTreeChanged();
}

void TSiteProfile::FolderTreeChanged() {
  std::string selected = FolderTree().SelectedFolder();
  if (selected != LocalRootDir) LocalRootDir = selected;
}

int PortFromText(const std::string& text) {
  std::int32_t value = 0;
  return ParseIniNumber(CharTrim(text), value) ? value : 0;
}

}  // namespace tovra
