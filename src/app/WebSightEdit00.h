// TfrmSightEdit: the site information dialog "ウェブサイト情報". It creates,
// edits, renames and deletes sites, and holds the current site profile for
// the whole program: its controls are the profile's fields. The decisions of
// OK and Cancel are the core's site editor; this is the window over it.
// UI thread only.
#pragma once

#include <QDialog>
#include <memory>

#include "sites/IniGT.h"
#include "sites/site_editor.h"
#include "sites/site_profile.h"
#include "util/string_list.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tovra {

class TConfigFile;
class TExtendedSettingsGroup;
class TShellFolderTree;

class TfrmSightEdit : public QDialog, private IFolderTree {
  Q_OBJECT
 public:
  explicit TfrmSightEdit(QWidget* parent = nullptr);
  ~TfrmSightEdit() override;
  // The configuration module whose settings component reads and writes the
  // profile files (created after the dialog).
  void AttachConfig(TConfigFile& config);

  // The current profile, with what the controls hold now.
  TSiteProfile& Profile();
  // LoadProfile of the profile, shown in the controls.
  void LoadProfile(const std::string& siteName);
  // The same for a site that may need repairing: a root folder that no
  // longer exists is shown as missing instead of failing; false then.
  bool LoadProfileKeepingMissingRoot(const std::string& siteName);
  // Shows the dialog modally over `siteList` (the selector's items, edited
  // in place); true when it ended with OK.
  bool Edit(TStringList& siteList);

  QLineEdit* edName;
  QGroupBox* GroupBox1;
  TShellFolderTree* ShellTreeView1;
  QLabel* LocalRootDir;
  QLabel* lblRootMissing;  // shown while the root folder label names no folder
  QGroupBox* GroupBox2;
  QLineEdit* WebHostName;
  QLineEdit* WebUserName;
  QLineEdit* WebPasswd;
  QSpinBox* WebPort;
  QLineEdit* WebURL;
  QCheckBox* chkUseProxy;
  QGroupBox* GroupBox7;
  QLineEdit* ProxyHostName;
  QLineEdit* ProxyUserName;
  QLineEdit* ProxyPasswd;
  QSpinBox* ProxyPort;
  // The section "[拡張設定]": connection, encryption, protocol, encodings.
  TExtendedSettingsGroup* grpExtended;
  QPushButton* Button1;
  QPushButton* Button2;
  TIniGT IniGT1;

  void Button1Click();
  void Button2Click();

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  void done(int result) override;              // FormClose on every closing
  void reject() override;                      // Esc and the close box: Button2Click

 private:
  // IFolderTree over ShellTreeView1.
  std::string SelectedFolder() const override;
  void SelectFolder(const std::string& path) override;

  void BuildControls();
  void ReadControls();   // controls -> profile fields
  void WriteControls();  // profile fields -> controls
  void ShowRootMissing();
  void Guarded(const std::function<void()>& fn);

  std::unique_ptr<TSiteProfile> profile_;
  std::unique_ptr<IMessenger> messenger_;
  std::unique_ptr<TSiteEditor> editor_;
};

}  // namespace tovra
