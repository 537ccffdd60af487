// The main window's handlers: site selection, the folder tree confined to the
// site, the upload, abort, web check, launch programs and the update panel.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QThread>
#include <exception>

#include "app/Warning01.h"
#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/certificate_prompt.h"
#include "app/host_key_prompt.h"
#include "app/message_boxes.h"
#include "app/publish_preview.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "app/web_check.h"
#include "ftp/dmFtp.h"
#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/path_pieces.h"
#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"
#include "update/update_check.h"
#include "upload/apply_site_profile.h"
#include "upload/publish_job.h"
#include "upload/upload_job.h"
#include "util/char_string.h"

namespace tovra {

namespace {

// The given path error of a site whose root folder has gone, and what to do.
std::string MissingRootText(const std::string& root) {
  return std::string(EPathSettingError(root).what()) +
         "\n基点フォルダーが見つかりません。「編集」で新しい基点フォルダーを選ぶか、サイトを削除してください。";
}

}  // namespace

void TForm1::AttachModules(TFTP* ftp, TfrmSightEdit* sightEdit, TConfigFile* config, TfrmWarning01* warning) {
  ftp_ = ftp;
  sightEdit_ = sightEdit;
  config_ = config;
  warning_ = warning;
  // The questions are asked on the UI thread; "trust and remember" is
  // written by the run, into the run's own site (RememberSiteSetting).
  certificatePrompt_ = std::make_unique<TCertificatePrompt>(this, ftp_->CancelRequested, nullptr);
  hostKeyPrompt_ = std::make_unique<TWindowHostKeyPrompt>(this, nullptr, &ftp_->CancelRequested);
  ftp_->CertificateTrust = certificatePrompt_.get();
  ftp_->HostKeyPrompt = hostKeyPrompt_.get();
  TRunHooks hooks;
  hooks.cancel = &ftp_->CancelRequested;
  hooks.certificateTrust = certificatePrompt_.get();
  hooks.hostKeyPrompt = hostKeyPrompt_.get();
  hooks.remember = [this](const std::string& site, const std::string& key, const std::string& value) {
    OnUiThread([this, site, key, value] { Guarded([&] { RememberSiteSetting(site, key, value); }); });
  };
  upload_ = std::make_unique<TUploadJob>(
      hooks, *this, [this] { OnUiThread([this] { Guarded([this] { updateCheck_->FinishSiteUpdates(); }); }); });
  updateCheck_ = std::make_unique<TUpdateCheck>(*this, *this, *this);
  publish_ = std::make_unique<TPublishJob>(hooks, *this);
  updateCheck_->FindFile1.OnProcessMessages = [] { QCoreApplication::processEvents(); };
  updateCheck_->PassOverMissingRoots = true;  // the site is repaired in the dialog
  ConnectHandlers();
}

void TForm1::RememberSiteSetting(const std::string& site, const std::string& key, const std::string& value) {
  StoreSiteSetting(site, key, value);
  // The shown site keeps it too, so that saving it later does not take it out.
  if (sightEdit_->Profile().CurrentSiteName() == site) sightEdit_->Profile().Extended.Set(key, value);
}

void TForm1::ConnectHandlers() {
  auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
    connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  on(ComboBox1, &QComboBox::activated, &TForm1::ComboBox1Select);
  on(Button3, &QPushButton::clicked, &TForm1::Button3Click);
  on(JamShellTree1, &TShellFolderTree::Changed, &TForm1::JamShellTree1Change);
  on(ComboBox2, &QComboBox::activated, &TForm1::ComboBox2Select);
  on(JamShellList1, &TShellFileList::Changed, &TForm1::JamShellList1Change);
  on(BitBtn1, &QPushButton::clicked, &TForm1::BitBtn1Click);
  on(btnAbort, &QPushButton::clicked, &TForm1::btnAbortClick);
  on(btnWebCheck, &QPushButton::clicked, &TForm1::btnWebCheckClick);
  on(btnSubPGM, &QPushButton::clicked, &TForm1::btnSubPGMClick);
  on(btnUpdateCheck, &QPushButton::clicked, &TForm1::btnUpdateCheckClick);
  on(btnPublish, &QPushButton::clicked, &TForm1::btnPublishClick);
  on(btUpdateCancel, &QPushButton::clicked, &TForm1::btUpdateCancelClick);
  connect(qApp, &QApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state != Qt::ApplicationActive) Guarded([this] { ApplicationEvents1Deactivate(); });
  });
}

void TForm1::FormShow() {
  // Said once here: every later write would fail the same way.
  const AppFolderChoice appFolder = CurrentAppFolder();
  appFolderWritable_ = OpenAppFolderForWriting(appFolder);
  if (!appFolderWritable_)
    ShowMessage(TMessageKind::Warning, "アプリケーションフォルダー \"" + appFolder.folder +
                                           "\" に書き込めません。サイトの設定と一覧は保存されません。"
                                           "フォルダーの場所と書き込みの権限を確かめてください。");
  for (QWidget* w : std::initializer_list<QWidget*>{ComboBox3, btnSubPGM, ComboBox2, cxOnly, cxAncher, cxFlashSOE,
                                                    cxPopup, cxTopBunner})
    w->hide();
  if (std::string warning = AppFolderWarning(); !warning.empty()) AppendStatus(warning);
  // A site that fails to load is reported once the rest of the window is
  // set up, so that the window is left in its normal idle state.
  std::exception_ptr siteError;
  try {
    ShowFirstSite();
  } catch (...) {
    siteError = std::current_exception();
  }
  TStringList masks;
  if (LoadLinesIfExists(JoinPath(AppFolder(), "ファイルマスク.txt"), masks)) {
    ComboBox2->clear();
    for (const auto& mask : masks) ComboBox2->addItem(QStr(mask));
    if (ComboBox2->count() > 0) ComboBox2->setCurrentIndex(0);
  }
  if (FileExists(LaunchListPath())) {
    SubPGMs.LoadLaunchList(LaunchListPath(), ProcessStarter);
    TStringList titles;
    SubPGMs.FillSelector(titles);
    for (const auto& title : titles) ComboBox3->addItem(QStr(title));
  }
  Panel8->hide();
  if (siteError) std::rethrow_exception(siteError);
}

void TForm1::ShowFirstSite() {
  // Read even when there is no file yet (the first start): the list saved
  // later is then merged with what tovra-cli writes meanwhile, never put in
  // its place.
  TStringList sites = LoadSiteList();
  ComboBox1->clear();
  for (const auto& site : sites) ComboBox1->addItem(QStr(site));
  ComboBox1->setCurrentIndex(0);
  std::string text = ComboText(ComboBox1);
  if (text != kNewSiteName) {
    SwitchToSite(text);
  } else {
    sightEdit_->LoadProfile(text);
    Button3Click();
  }
}

void TForm1::ApplySiteProfile() {
  TSiteProfile& profile = sightEdit_->Profile();
  ComboBox1->setCurrentIndex(ComboBox1->findText(QStr(profile.CurrentSiteName()), Qt::MatchExactly));
  // "新規登録" and a site whose root folder has gone leave no site applied:
  // the tree and list of the site shown before must not be uploaded under
  // another site's name.
  const bool rootMissing = !profile.LocalRootDir.empty() && !DirectoryExists(profile.LocalRootDir);
  siteApplied_ = profile.CurrentSiteName() != kNewSiteName && !rootMissing;
  JamShellTree1->setEnabled(siteApplied_);
  JamShellList1->setEnabled(siteApplied_);
  if (!siteApplied_) {
    CurrentSiteRoot.clear();
    JamShellList1->SetFolder("");
    return;
  }
  CurrentSiteRoot = profile.LocalRootDir;
  JamShellTree1->SetSelectedFolder(profile.LocalRootDir);
  JamShellList1->SetFolder(JamShellTree1->SelectedFolder());
  // The session belongs to the run from the upload button to the run's end
  // (its thread reads the session's settings); a site chosen meanwhile is
  // applied when the run ends.
  if (!uploadBusy_) ApplyProfileToSession(profile, *ftp_);
}

void TForm1::SwitchToSite(const std::string& name) {
  const bool rootFound = sightEdit_->LoadProfileKeepingMissingRoot(name);
  ApplySiteProfile();
  if (!rootFound) throw ETovraError(MissingRootText(sightEdit_->Profile().LocalRootDir));
}

void TForm1::ComboBox1Select() {
  std::string text = ComboText(ComboBox1);
  if (text == sightEdit_->Profile().CurrentSiteName() && (siteApplied_ || text == kNewSiteName)) return;
  SwitchToSite(text);
}

void TForm1::Button3Click() {
  std::string text = ComboText(ComboBox1);
  // A site whose root folder has gone opens too, so that it can be given a
  // new root or deleted.
  if (text != kNewSiteName) sightEdit_->LoadProfileKeepingMissingRoot(text);
  TStringList items = ComboItems();
  bool ok = sightEdit_->Edit(items);
  // The dialog edits the selector's item list: renames and deletions show
  // there at once.
  int selected = ComboBox1->currentIndex();
  ComboBox1->clear();
  for (const auto& item : items) ComboBox1->addItem(QStr(item));
  ComboBox1->setCurrentIndex(std::min(selected, ComboBox1->count() - 1));
  if (!ok) return;
  std::string name = sightEdit_->Profile().CurrentSiteName();
  if (!CharTrim(name).empty()) {
    if (ComboBox1->findText(QStr(name), Qt::MatchExactly) < 0)
      ComboBox1->insertItem(ComboBox1->count() - 1, QStr(name));
    ApplySiteProfile();
    return;
  }
  if (ComboBox1->count() <= 1) {
    TMessageBoxes::Show(this, TMessageKind::Warning, "管理WEBサイトがすべて削除されたためプログラムを終了します。");
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
  ComboBox1->setCurrentIndex(0);
  SwitchToSite(ComboText(ComboBox1));
}

void TForm1::JamShellTree1Change() {
  std::string folder = JamShellTree1->SelectedFolder();
  const std::string& root = sightEdit_->Profile().LocalRootDir;
  if (!IsUnderRoot(root, folder)) {
    TMessageBoxes::Show(this, TMessageKind::Warning, ComboText(ComboBox1) + "はそのフォルダーを参照できません");
    JamShellTree1->SetSelectedFolder(CurrentSiteRoot);
    folder = JamShellTree1->SelectedFolder();
  }
  JamShellList1->SetFolder(folder);
}

void TForm1::ComboBox2Select() { JamShellList1->SetFilter(ComboText(ComboBox2)); }

void TForm1::JamShellList1Change() {
  std::vector<std::string> names = JamShellList1->SelectedNames();
  btnWebCheck->setEnabled(names.size() == 1 && IsPagePath(names.front()));
}

void TForm1::BitBtn1Click() {
  TStringList selection;
  if (UpdatePanelVisible()) {
    selection = CheckedUpdates();
  } else {
    if (!siteApplied_) {
      const TSiteProfile& profile = sightEdit_->Profile();
      ShowMessage(TMessageKind::Warning, profile.CurrentSiteName() == kNewSiteName
                                             ? "アップロードするサイトを選択してください。"
                                             : MissingRootText(profile.LocalRootDir));
      return;
    }
    std::string folder = JamShellTree1->SelectedFolder();
    for (const auto& name : JamShellList1->SelectedNames()) selection.Add(JoinPath(folder, name));
    if (selection.Empty()) {
      ShowMessage(TMessageKind::Warning, "ファイルを選択してください。");
      return;
    }
  }
  TUploadOptions options;
  options.cxOnly = cxOnly->isChecked();
  options.rewrite.bottomBanner = cxAncher->isChecked();
  options.rewrite.popup = cxPopup->isChecked();
  options.rewrite.topBanner = cxTopBunner->isChecked();
  options.rewrite.flash = cxFlashSOE->isChecked();
  options.rewrite.pageEncoding = sightEdit_->Profile().Extended.PageEncoding();
  runSelection_ = selection;
  // The run keeps this site even when another is chosen while it runs.
  upload_->Start(selection, options, UploadSiteOf(sightEdit_->Profile()));
}

void TForm1::btnAbortClick() { upload_->Abort(); }

void TForm1::btnWebCheckClick() {
  const TSiteProfile& profile = sightEdit_->Profile();
  WebCheck(JamShellList1->SelectedNames(), JamShellTree1->SelectedFolder(), profile.WebURL, profile.LocalRootDir, *this,
           UrlOpener);
}

void TForm1::btnSubPGMClick() {
  TLaunchSelection selection;
  selection.updatePanelVisible = UpdatePanelVisible();
  selection.currentRow = CheckListBox1->currentRow();
  for (int i = 0; i < CheckListBox1->count(); ++i) selection.updateRows.Add(ToCp932(CheckListBox1->item(i)->text()));
  selection.treeFolder = JamShellTree1->SelectedFolder();
  selection.fileNames = JamShellList1->SelectedNames();
  SubPGMs.Launch(ComboText(ComboBox3), selection);
}

void TForm1::btnUpdateCheckClick() { updateCheck_->UpdateCheckClick(); }
// The plan of the whole site against its record, previewed; OK publishes it
// on the publish job's thread, as the upload button sends a list.
void TForm1::btnPublishClick() {
  if (uploadBusy_ || publish_->Running()) return;
  const TSiteProfile& profile = sightEdit_->Profile();
  const std::string name = profile.CurrentSiteName();
  if (name.empty() || name == kNewSiteName) return;
  auto record = std::make_unique<TPublishRecord>(PublishRecordFileName(name));
  record->Load();
  TPublishPlan plan =
      BuildPublishPlan(profile.LocalRootDir, *record, TPublishExclusions(profile.Extended.PublishExclude()), false);
  TPublishPreview preview(plan, ServerNamesOf(profile.Extended), this);
  if (preview.exec() != QDialog::Accepted) return;
  publish_->Start(UploadSiteOf(profile), std::move(plan), std::move(record), preview.DeleteRemoved());
}

void TForm1::btUpdateCancelClick() { updateCheck_->UpdateCancelClick(); }
// An application folder found unwritable at start was reported then; the
// managed file list is not tried again on every change of focus.
void TForm1::ApplicationEvents1Deactivate() {
  if (appFolderWritable_) updateCheck_->SaveOnDeactivate();
}
void TForm1::FormClose() {
  if (appFolderWritable_) updateCheck_->SaveOnClose();
}

}  // namespace tovra
