// TSiteProfile: the current site profile, held as the fields of the site
// information dialog (the dialog's controls copy to and from these), with the
// profile operations LoadProfile, ResetProfile, SaveProfile and
// CurrentSiteName. Other parts read LocalRootDir, WebURL and the FTP fields
// after a LoadProfile. With PasswordStore=keyring the password fields come
// from and go to the desktop's keyring, and the file keeps them empty.
// Used on the UI thread only.
#pragma once

#include <optional>
#include <string>

#include "sites/dmConfig.h"
#include "sites/extended_settings.h"
#include "util/errors.h"

namespace tovra {

// The folder tree of the dialog, as far as the profile needs it.
class IFolderTree {
 public:
  virtual ~IFolderTree() = default;
  // The selected folder's full path; empty when none is selected.
  virtual std::string SelectedFolder() const = 0;
  // Selects the folder; throws EPathSettingError when it cannot.
  virtual void SelectFolder(const std::string& path) = 0;
};

// "パス設定エラー : " followed by the path in double quote marks.
class EPathSettingError : public ETovraError {
 public:
  explicit EPathSettingError(const std::string& path);
};

// The core's folder tree: a folder can be selected when it exists; the empty
// path selects nothing.
class TFolderSelection : public IFolderTree {
 public:
  std::string SelectedFolder() const override { return selected_; }
  void SelectFolder(const std::string& path) override;

 private:
  std::string selected_;
};

class TSiteProfile {
 public:
  // The module whose settings component reads and writes the profile files
  // must outlive the profile.
  explicit TSiteProfile(TConfigFile& config);

  std::string edName{kNewSiteName};
  std::string LocalRootDir;  // the root folder label
  std::string WebHostName;
  std::string WebUserName;
  std::string WebPasswd;
  int WebPort = 21;
  std::string WebURL;
  bool chkUseProxy = false;
  std::string ProxyHostName;
  std::string ProxyUserName;
  std::string ProxyPasswd;
  int ProxyPort = 0;
  // The section "[拡張設定]": absent keys stay absent through a load and a
  // save; a new site starts with TExtendedSettings::NewSiteDefaults.
  TExtendedSettings Extended;

  // The window hands in its folder tree; nullptr goes back to the core's own.
  // The tree must outlive its use here.
  void SetFolderTree(IFolderTree* tree) { tree_ = tree; }
  IFolderTree& FolderTree() { return tree_ != nullptr ? *tree_ : static_cast<IFolderTree&>(ownTree_); }
  const IFolderTree& FolderTree() const {
    return tree_ != nullptr ? *tree_ : static_cast<const IFolderTree&>(ownTree_);
  }

  // Sets edName; "新規登録" (exactly) resets the fields, any other name reads
  // its profile file. A root folder the tree cannot select throws
  // EPathSettingError, leaving the fields read after LocalRootDir as they were.
  // A keyring that cannot give the passwords throws ESecretStoreError after
  // every other field was read. Without readPasswords the keyring is not
  // asked (for a caller that needs no password); the fields stay empty and a
  // save asks for them first.
  void LoadProfile(const std::string& siteName, bool readPasswords = true);
  // LoadProfile of a site that may need repairing: a root folder that no
  // longer exists does not throw; every field is read, LocalRootDir keeps the
  // stored path, the tree selects nothing, and the result is false. True
  // when the root was selected (or the name is "新規登録").
  bool LoadProfileKeepingMissingRoot(const std::string& siteName);
  // The reset values of a new site, with the extended settings a new site
  // starts with (the passwords in the keyring when one answers); the root
  // folder label and the tree keep theirs.
  void ResetProfile();
  // Writes the fields, with the tree's selected folder as LocalRootDir, to
  // the profile file of CurrentSiteName as one file replacement; into the
  // file the site was loaded from, only the fields changed since. Throws
  // EFileError "%s に書き込めません" with the file's path. With the keyring,
  // the passwords are written there first; a keyring that cannot take them
  // throws ESecretStoreError, and a failure either way leaves the keyring
  // and the file as they were.
  void SaveProfile();
  // The site whose keyring items hold this profile's passwords as stored:
  // the site loaded or saved with PasswordStore=keyring, else empty.
  const std::string& KeyringSite() const { return keyringSite_; }
  std::string CurrentSiteName() const { return edName; }

  // A selection in the tree: selects path there, then the label follows the
  // tree (as a click or key in the tree does).
  void ChooseRootFolder(const std::string& path);
  void FolderTreeChanged();

 private:
  bool Load(const std::string& siteName, bool missingRootThrows, bool readPasswords);
  void WriteFile(const std::string& name, bool passwordsInFile);
  // The keyring's passwords into fields that are still empty, after a load
  // that could not read them.
  void CatchUpKeyringPasswords();

  TConfigFile* config_;
  // The profile file as LoadProfile (or the last SaveProfile) found it, and
  // its path: a save writes only what was changed since, so another
  // writer's changes to the other keys stay.
  std::optional<TIniDocument> loaded_;
  std::string loadedPath_;
  std::string keyringSite_;
  bool passwordsRead_ = true;
  IFolderTree* tree_ = nullptr;
  TFolderSelection ownTree_;
};

// Writes one key of "[拡張設定]" (checked as TExtendedSettings::Set does)
// into the named site's profile file, leaving everything else of the file as
// it is. Throws EExtendedSettingError for a value the key does not accept
// and EFileError when the file cannot be written. Uses a settings component
// of its own, so it may run beside a TSiteProfile, but never two at once.
void StoreSiteSetting(const std::string& siteName, std::string_view key, std::string_view value);

// The number in a port field's text; text that is no number counts as 0.
int PortFromText(const std::string& text);

}  // namespace tovra
