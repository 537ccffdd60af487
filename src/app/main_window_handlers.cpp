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
#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "update/update_check.h"
#include "upload/apply_site_profile.h"
#include "upload/publish_job.h"
#include "upload/upload_job.h"
#include "util/char_string.h"

namespace tovra {

void TForm1::AttachModules(TFTP* ftp, TfrmSightEdit* sightEdit, TConfigFile* config, TfrmWarning01* warning) {
  ftp_ = ftp;
  sightEdit_ = sightEdit;
  config_ = config;
  warning_ = warning;
  upload_ = std::make_unique<TUploadJob>(
      *ftp_, *this, [this] { OnUiThread([this] { Guarded([this] { updateCheck_->FinishSiteUpdates(); }); }); });
  updateCheck_ = std::make_unique<TUpdateCheck>(*this, *this, *this);
  publish_ = std::make_unique<TPublishJob>(*ftp_, *this);
  // "Trust and remember" pins the certificate in the site's profile.
  certificatePrompt_ =
      std::make_unique<TCertificatePrompt>(this, ftp_->CancelRequested, [this](const std::string& pin) {
        Guarded([this, &pin] {
          sightEdit_->Profile().Extended.Set("CertificateSha256", pin);
          sightEdit_->Profile().SaveProfile();
        });
      });
  ftp_->CertificateTrust = certificatePrompt_.get();
  // "Trust and remember" pins an SFTP server's host key the same way.
  hostKeyPrompt_ = std::make_unique<TWindowHostKeyPrompt>(
      this,
      [this](const std::string& pin) {
        Guarded([this, &pin] {
          sightEdit_->Profile().Extended.Set("HostKeySha256", pin);
          sightEdit_->Profile().SaveProfile();
        });
      },
      &ftp_->CancelRequested);
  ftp_->HostKeyPrompt = hostKeyPrompt_.get();
  // The connection's own notices (a server without encryption) join the
  // status memo; AppendStatus may be called from the transfer thread.
  ftp_->IdFTP1.OnStatus = [this](const std::string& line) { AppendStatus(line); };
  updateCheck_->FindFile1.OnProcessMessages = [] { QCoreApplication::processEvents(); };
  ConnectHandlers();
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
  for (QWidget* w : std::initializer_list<QWidget*>{ComboBox3, btnSubPGM, ComboBox2, cxOnly, cxAncher, cxFlashSOE,
                                                    cxPopup, cxTopBunner})
    w->hide();
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
  if (FileExists(SiteListFileName())) {
    TStringList sites = LoadSiteList();
    ComboBox1->clear();
    for (const auto& site : sites) ComboBox1->addItem(QStr(site));
    ComboBox1->setCurrentIndex(0);
    std::string text = ComboText(ComboBox1);
    if (text != kNewSiteName) {
      sightEdit_->LoadProfile(text);
      ApplySiteProfile();
    }
  } else {
    ComboBox1->clear();
    ComboBox1->addItem(QStr(std::string(kNewSiteName)));
    ComboBox1->setCurrentIndex(0);
    sightEdit_->LoadProfile(std::string(kNewSiteName));
  }
  if (ComboText(ComboBox1) == kNewSiteName) Button3Click();
}

void TForm1::ApplySiteProfile() {
  TSiteProfile& profile = sightEdit_->Profile();
  ComboBox1->setCurrentIndex(ComboBox1->findText(QStr(profile.CurrentSiteName()), Qt::MatchExactly));
  CurrentSiteRoot = profile.LocalRootDir;
  JamShellTree1->SetSelectedFolder(profile.LocalRootDir);
  JamShellList1->SetFolder(JamShellTree1->SelectedFolder());
  // The session belongs to the run from the upload button to the run's end
  // (its thread reads the session's settings); a site chosen meanwhile is
  // applied when the run ends.
  if (!uploadBusy_) ApplyProfileToSession(profile, *ftp_);
}

void TForm1::ComboBox1Select() {
  std::string text = ComboText(ComboBox1);
  if (text == sightEdit_->Profile().CurrentSiteName()) return;
  sightEdit_->LoadProfile(text);
  if (text != kNewSiteName) ApplySiteProfile();
}

void TForm1::Button3Click() {
  std::string text = ComboText(ComboBox1);
  if (text != kNewSiteName) sightEdit_->LoadProfile(text);
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
  sightEdit_->LoadProfile(ComboText(ComboBox1));
  ApplySiteProfile();
}

void TForm1::JamShellTree1Change() {
  std::string folder = JamShellTree1->SelectedFolder();
  const std::string& root = sightEdit_->Profile().LocalRootDir;
  if (CharCopy(folder, 1, CharLength(root)) != root) {
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
    std::string folder = JamShellTree1->SelectedFolder();
    for (const auto& name : JamShellList1->SelectedNames()) selection.Add(JoinPath(folder, name));
  }
  TUploadOptions options;
  options.cxOnly = cxOnly->isChecked();
  options.rewrite.bottomBanner = cxAncher->isChecked();
  options.rewrite.popup = cxPopup->isChecked();
  options.rewrite.topBanner = cxTopBunner->isChecked();
  options.rewrite.flash = cxFlashSOE->isChecked();
  options.rewrite.pageEncoding = sightEdit_->Profile().Extended.PageEncoding();
  // The run keeps this site even when another is chosen while it runs.
  upload_->Start(selection, options, UploadSiteOf(sightEdit_->Profile(), *ftp_));
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
  TPublishPreview preview(plan, this);
  if (preview.exec() != QDialog::Accepted) return;
  publish_->Start(UploadSiteOf(profile, *ftp_), std::move(plan), std::move(record), preview.DeleteRemoved());
}

void TForm1::btUpdateCancelClick() { updateCheck_->UpdateCancelClick(); }
void TForm1::ApplicationEvents1Deactivate() { updateCheck_->SaveOnDeactivate(); }
void TForm1::FormClose() { updateCheck_->SaveOnClose(); }

}  // namespace tovra
