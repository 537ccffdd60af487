// The main window as the core sees it: the upload view (status memo and
// buttons, reached from the timer thread through queued calls), the update
// panel, and the sites of the selector.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QThread>

#include "app/Warning01.h"
#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/failure_text.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "app/upload_progress.h"
#include "update/update_check.h"
#include "upload/apply_site_profile.h"
#include "upload/upload_job.h"

namespace tovra {

void TForm1::AppendStatus(const std::string& line) {
  // One status line is one memo line, also when it carries a server's or
  // the socket layer's line breaks.
  OnUiThread([this, text = QStr(SingleLine(line))] {
    Memo1->appendPlainText(text);
    if (memoFollows_) Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
  });
}

void TForm1::SetUploadEnabled(bool enabled) {
  // From the UI thread this is the end of a preparation that started no run.
  const bool withoutRun = QThread::currentThread() == thread();
  OnUiThread([this, enabled, withoutRun] {
    // A new upload starts from an empty bar and summary.
    if (!enabled && !uploadBusy_) UploadProgress->Reset();
    BitBtn1->setEnabled(enabled);
    const bool runOver = uploadBusy_ && enabled;
    uploadBusy_ = !enabled;
    // A site chosen while the run used the session takes it over only now.
    if (runOver) ApplyProfileToSession(sightEdit_->Profile(), *ftp_);
    UpdateSiteControls();
    if (enabled && withoutRun) CloseIfAsked();
  });
}

void TForm1::CloseIfAsked() {
  if (!closeAfterRun_) return;
  closeAfterRun_ = false;
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TForm1::UpdateSiteControls() {
  // While an upload is prepared or sent, nothing switches the site: the run
  // reads the session's connection records for every file, and the end of the
  // run moves the update panel on by itself.
  const bool panel = UpdatePanelVisible();
  ComboBox1->setEnabled(!uploadBusy_ && !panel);
  Button3->setEnabled(!uploadBusy_ && !panel);
  btnUpdateCheck->setEnabled(!uploadBusy_);
  btnPublish->setEnabled(!uploadBusy_);
  btUpdateCancel->setEnabled(!uploadBusy_);
}

void TForm1::SetAbortEnabled(bool enabled) {
  OnUiThread([this, enabled] {
    btnAbort->setEnabled(enabled);
    // The run clears the abort request when it starts: a close that came
    // before that asks again.
    if (enabled && closeAfterRun_) upload_->Abort();
  });
}

bool TForm1::ConfirmMissingFiles(const TMissingFiles& missing) {
  if (warning_->Ask(missing)) return true;
  AppendStatus("アップロードを中止しました。");
  return false;
}

void TForm1::RunEnded(TRunOutcome outcome, const std::string& error) {
  OnUiThread([this, outcome, error] {
    // A window being closed does not stop for a box: the memo has the line.
    // A failed run's bar would show a share that was never reached.
    if (outcome == TRunOutcome::Failed) UploadProgress->Bar()->hide();
    if (outcome == TRunOutcome::Failed && !closeAfterRun_)
      TMessageBoxes::Show(this, TMessageKind::Warning, SingleLine(error));
    // A file the update check found stays pending until a run has sent it.
    if (outcome == TRunOutcome::Completed) updateCheck_->MarkUploaded(runSelection_);
    emit RunFinished(static_cast<int>(outcome));
    CloseIfAsked();
  });
}

void TForm1::ShowProgress(const TTransferProgress& progress) {
  OnUiThread([this, progress] { UploadProgress->SetProgress(progress); });
}

void TForm1::ShowSummary(const std::string& line) {
  OnUiThread([this, line] { UploadProgress->ShowSummary(line); });
}

void TForm1::ShowRunWarning(const std::string& text) {
  OnUiThread([this, text] { TMessageBoxes::Show(this, TMessageKind::Warning, text); });
}

std::string TForm1::FailureText(const std::exception& error) { return ExplainedFailure(error); }

void TForm1::ShowMessage(TMessageKind kind, const std::string& text) { TMessageBoxes::Show(this, kind, text); }
bool TForm1::ConfirmOkCancel(const std::string& text) { return TMessageBoxes::ConfirmOkCancel(this, text); }
bool TForm1::ConfirmOkAbort(const std::string& text) { return TMessageBoxes::ConfirmOkAbort(this, text); }

int TForm1::SelectedSiteIndex() { return ComboBox1->currentIndex(); }
void TForm1::SelectSiteIndex(int index) { ComboBox1->setCurrentIndex(index); }

void TForm1::ShowUpdatePanel(const std::string&, const std::string& caption, const TStringList& files) {
  Panel9->setText(QStr(caption));
  CheckListBox1->clear();
  for (const auto& file : files) {
    auto* item = new QListWidgetItem(QStr(file), CheckListBox1);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  JamShellTree1->hide();
  JamShellList1->hide();
  Splitter1->hide();
  for (QWidget* w : std::initializer_list<QWidget*>{ComboBox1, Button3, ComboBox2, btnWebCheck}) w->setEnabled(false);
  Panel8->show();
}

void TForm1::HideUpdatePanel() {
  Panel8->hide();
  Splitter1->show();
  JamShellTree1->show();
  JamShellList1->show();
  ComboBox2->setEnabled(true);
  btnWebCheck->setEnabled(true);
  UpdateSiteControls();
}

bool TForm1::UpdatePanelVisible() { return !Panel8->isHidden(); }

TStringList TForm1::CheckedUpdates() {
  TStringList rows;
  for (int i = 0; i < CheckListBox1->count(); ++i) {
    QListWidgetItem* item = CheckListBox1->item(i);
    if (item->checkState() == Qt::Checked) rows.Add(ToCp932(item->text()));
  }
  return rows;
}

bool TForm1::SiteDialogVisible() { return sightEdit_ != nullptr && sightEdit_->isVisible(); }

TStringList TForm1::SiteNames() { return ComboItems(); }

std::string TForm1::LoadRootDir(const std::string& siteName) {
  // Loaded whole also when its root folder has gone, so that the profile
  // holder never mixes two sites.
  if (!sightEdit_->LoadProfileKeepingMissingRoot(siteName)) throw EPathSettingError(sightEdit_->Profile().LocalRootDir);
  return sightEdit_->Profile().LocalRootDir;
}

void TForm1::ReportSkippedSite(const std::string& line) { AppendStatus(line); }

}  // namespace tovra
