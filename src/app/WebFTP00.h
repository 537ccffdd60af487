// TForm1: the main window. Site selector, folder tree and file list of the
// current site, the upload button, status memo and abort, the update panel,
// the web check and the launch programs. Its handlers delegate to the core;
// it implements the core's views (upload, update check, site profiles) with
// its widgets. UI thread, except the upload view calls that the transfer run
// makes on the timer thread, which are queued onto the UI thread in order.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "app/launch_programs.h"
#include "ftp/certificate_trust.h"
#include "sftp/host_key.h"
#include "sites/IniGT.h"
#include "update/update_view.h"
#include "upload/upload_view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

namespace tovra {

class TFTP;
class TConfigFile;
class TfrmSightEdit;
class TfrmWarning01;
class TShellFolderTree;
class TShellFileList;
class TUploadJob;
class TPublishJob;
class TUpdateCheck;
class TUploadProgress;

class TForm1 : public QMainWindow, public IUploadView, public IUpdateView, public ISiteProfiles {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);  // FormCreate
  ~TForm1() override;                          // FormDestroy

  // The modules created after the window; FormShow needs them all.
  void AttachModules(TFTP* ftp, TfrmSightEdit* sightEdit, TConfigFile* config, TfrmWarning01* warning);

  // Controls, by their form names.
  QWidget* Panel2;
  QComboBox* ComboBox1;
  QPushButton* Button3;
  QComboBox* ComboBox3;
  QPushButton* btnSubPGM;
  QSplitter* Splitter1;
  TShellFolderTree* JamShellTree1;
  TShellFileList* JamShellList1;
  QWidget* Panel8;
  QLabel* Panel9;
  QListWidget* CheckListBox1;
  QPushButton* btUpdateCancel;
  QPushButton* BitBtn1;
  QPlainTextEdit* Memo1;
  TUploadProgress* UploadProgress;  // under the memo
  QWidget* Panel1;
  QPushButton* btnUpdateCheck;
  QPushButton* btnPublish;  // beside 更新チェック: the whole site, previewed first
  QComboBox* ComboBox2;
  QCheckBox* cxOnly;
  QCheckBox* cxAncher;
  QCheckBox* cxFlashSOE;
  QCheckBox* cxPopup;
  QCheckBox* cxTopBunner;
  QPushButton* btnWebCheck;
  QPushButton* btnAbort;
  TIniGT IniGT1;

  std::string CurrentSiteRoot;
  TSubPGMs SubPGMs;
  TUploadJob& Upload() { return *upload_; }
  TUpdateCheck& UpdateCheck() { return *updateCheck_; }

  // Injected openers (tests record instead of starting programs).
  std::function<void(const std::string&)> UrlOpener;
  TProcessStarter ProcessStarter;

  // Handlers.
  void FormShow();
  void ApplySiteProfile() override;
  void ComboBox1Select();
  void Button3Click();
  void JamShellTree1Change();
  void ComboBox2Select();
  void JamShellList1Change();
  void BitBtn1Click();
  void btnAbortClick();
  void btnWebCheckClick();
  void btnSubPGMClick();
  void btnUpdateCheckClick();
  void btnPublishClick();
  void btUpdateCancelClick();
  void ApplicationEvents1Deactivate();
  void FormClose();

  // IUploadView / IMessenger
  void AppendStatus(const std::string& line) override;
  void SetUploadEnabled(bool enabled) override;
  void SetAbortEnabled(bool enabled) override;
  bool ConfirmMissingFiles(const TMissingFiles& missing) override;
  void RunEnded(TRunOutcome outcome, const std::string& error) override;
  void ShowProgress(const TTransferProgress& progress) override;
  void ShowSummary(const std::string& line) override;
  void ShowRunWarning(const std::string& text) override;
  std::string FailureText(const std::exception& error) override;
  void ShowMessage(TMessageKind kind, const std::string& text) override;
  bool ConfirmOkCancel(const std::string& text) override;
  bool ConfirmOkAbort(const std::string& text) override;

  // IUpdateView
  int SelectedSiteIndex() override;
  void SelectSiteIndex(int index) override;
  void ShowUpdatePanel(const std::string& siteName, const std::string& caption, const TStringList& files) override;
  void HideUpdatePanel() override;
  bool UpdatePanelVisible() override;
  TStringList CheckedUpdates() override;
  bool SiteDialogVisible() override;
  void ReportSkippedSite(const std::string& line) override;

  // ISiteProfiles
  TStringList SiteNames() override;
  std::string LoadRootDir(const std::string& siteName) override;

  // Runs fn, showing a failure that escapes it in a message box: the one
  // place where the window catches what its handlers raise.
  void Guarded(const std::function<void()>& fn);

 signals:
  void RunFinished(int outcome);  // after the window is idle again

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ShowFirstSite();  // FormShow's site list, first site and first-start dialog
  void ConnectHandlers();
  // A setting a run learnt (a pin, "always encrypted"), written into its site.
  void RememberSiteSetting(const std::string& site, const std::string& key, const std::string& value);
  void OnUiThread(std::function<void()> fn);
  std::string ComboText(QComboBox* box) const;
  void UpdateSiteControls();
  // Loads and applies the site; one whose root folder has gone is loaded
  // whole but left unapplied, and the error is thrown after.
  void SwitchToSite(const std::string& name);
  void CloseIfAsked();  // closes the window when it was closed during a run
  TStringList ComboItems() const;

  TFTP* ftp_ = nullptr;
  TfrmSightEdit* sightEdit_ = nullptr;
  TConfigFile* config_ = nullptr;
  TfrmWarning01* warning_ = nullptr;
  std::unique_ptr<TUploadJob> upload_;
  std::unique_ptr<TPublishJob> publish_;
  std::unique_ptr<TUpdateCheck> updateCheck_;
  std::unique_ptr<ICertificateTrust> certificatePrompt_;
  std::unique_ptr<IHostKeyPrompt> hostKeyPrompt_;
  bool shown_ = false;
  bool uploadBusy_ = false;        // from the start of a preparation to the end of its run
  bool closeAfterRun_ = false;     // the window was closed during a run: close at its end
  bool memoFollows_ = true;        // the status memo shows its last line
  bool appFolderWritable_ = true;  // as found at start; said once there
  bool siteApplied_ = false;       // the tree, list and session show a site that can be uploaded
  TStringList runSelection_;       // what the upload button sent, for the update check
};

}  // namespace tovra
