// The main window as the core sees it: the upload view (status memo and
// buttons, reached from the timer thread through queued calls), the update
// panel, and the sites of the selector.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>

#include "app/Warning01.h"
#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "app/upload_progress.h"

namespace tovra {

void TForm1::AppendStatus(const std::string& line) {
  OnUiThread([this, text = QStr(line)] { Memo1->appendPlainText(text); });
}

void TForm1::SetUploadEnabled(bool enabled) {
  OnUiThread([this, enabled] {
    BitBtn1->setEnabled(enabled);
    uploadBusy_ = !enabled;
    UpdateSiteControls();
  });
}

void TForm1::UpdateSiteControls() {
  // While an upload is prepared or sent, nothing switches the site: the run
  // reads the session's connection records for every file, and the end of the
  // run moves the update panel on by itself.
  const bool panel = UpdatePanelVisible();
  ComboBox1->setEnabled(!uploadBusy_ && !panel);
  Button3->setEnabled(!uploadBusy_ && !panel);
  btnUpdateCheck->setEnabled(!uploadBusy_);
  btUpdateCancel->setEnabled(!uploadBusy_);
}

void TForm1::SetAbortEnabled(bool enabled) {
  OnUiThread([this, enabled] { btnAbort->setEnabled(enabled); });
}

bool TForm1::ConfirmMissingFiles(const TStringList& missing) { return warning_->Ask(missing); }

void TForm1::RunEnded(TRunOutcome outcome, const std::string& error) {
  OnUiThread([this, outcome, error] {
    if (outcome == TRunOutcome::Failed) TMessageBoxes::Show(this, TMessageKind::Warning, error);
    emit RunFinished(static_cast<int>(outcome));
  });
}

void TForm1::ShowProgress(const TTransferProgress& progress) {
  OnUiThread([this, progress] { UploadProgress->SetProgress(progress); });
}

void TForm1::ShowSummary(const std::string& line) {
  OnUiThread([this, line] { UploadProgress->ShowSummary(line); });
}

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

TStringList TForm1::SiteNames() {
  TStringList names;
  for (int i = 0; i < ComboBox1->count(); ++i) names.Add(ToCp932(ComboBox1->itemText(i)));
  return names;
}

std::string TForm1::LoadRootDir(const std::string& siteName) {
  sightEdit_->LoadProfile(siteName);
  return sightEdit_->Profile().LocalRootDir;
}

}  // namespace tovra
