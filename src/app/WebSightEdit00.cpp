#include "app/WebSightEdit00.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialog_fields.h"
#include "app/extended_settings_group.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "app/window_placement.h"
#include "platform/files.h"
#include "sites/dmConfig.h"
#include "util/char_string.h"

namespace tovra {

TfrmSightEdit::TfrmSightEdit(QWidget* parent) : QDialog(parent), messenger_(std::make_unique<TBoxMessenger>(this)) {
  setObjectName("frmSightEdit");
  setWindowTitle(QStr("ウェブサイト情報"));
  BuildControls();
  IniGT1.SetDefaultDir(ddApplication);
  IniGT1.SetFence(fnNone);
  IniGT1.Loaded();
}

TfrmSightEdit::~TfrmSightEdit() = default;

void TfrmSightEdit::BuildControls() {
  edName = LineEdit("edName", this, true);
  edName->setText(QStr("新規登録"));
  ShellTreeView1 = new TShellFolderTree(this);
  ShellTreeView1->setObjectName("ShellTreeView1");
  LocalRootDir = new QLabel("LocalRootDir", this);
  LocalRootDir->setObjectName("LocalRootDir");
  lblRootMissing = new QLabel(QStr("この基点フォルダーは見つかりません。新しい基点フォルダーを選んでください。"), this);
  lblRootMissing->setObjectName("lblRootMissing");
  lblRootMissing->setWordWrap(true);
  lblRootMissing->setStyleSheet("color: #c00000;");
  lblRootMissing->hide();
  GroupBox1 = new QGroupBox(QStr("基点フォルダー"), this);
  GroupBox1->setObjectName("GroupBox1");
  auto* rootLayout = new QVBoxLayout(GroupBox1);
  rootLayout->addWidget(ShellTreeView1, 1);
  rootLayout->addWidget(LocalRootDir);
  rootLayout->addWidget(lblRootMissing);

  WebHostName = LineEdit("WebHostName", this);
  WebUserName = LineEdit("WebUserName", this);
  WebPasswd = LineEdit("WebPasswd", this);
  WebPort = PortBox("WebPort", 21, this);
  WebURL = LineEdit("WebURL", this);
  GroupBox2 = new QGroupBox(QStr("WEBサーバー情報"), this);
  GroupBox2->setObjectName("GroupBox2");
  auto* server = new QGridLayout(GroupBox2);
  server->addWidget(Group("ホスト名／アドレス", WebHostName, GroupBox2), 0, 0);
  server->addWidget(Group("Port", WebPort, GroupBox2), 0, 1);
  server->addWidget(Group("ユーザ名", WebUserName, GroupBox2), 1, 0);
  server->addWidget(Group("パスワード", PasswordRow(WebPasswd, GroupBox2), GroupBox2), 1, 1);
  server->addWidget(Group("URL", WebURL, GroupBox2), 2, 0, 1, 2);

  chkUseProxy = new QCheckBox(QStr("Proxyサーバ利用"), this);
  chkUseProxy->setObjectName("chkUseProxy");
  ProxyHostName = LineEdit("ProxyHostName", this, true);
  ProxyUserName = LineEdit("ProxyUserName", this);
  ProxyPasswd = LineEdit("ProxyPasswd", this);
  ProxyPort = PortBox("ProxyPort", 0, this);
  GroupBox7 = new QGroupBox(QStr("Proxyサーバー情報"), this);
  GroupBox7->setObjectName("GroupBox7");
  auto* proxy = new QGridLayout(GroupBox7);
  proxy->addWidget(Group("ホスト名／アドレス", ProxyHostName, GroupBox7), 0, 0);
  proxy->addWidget(Group("Port", ProxyPort, GroupBox7), 0, 1);
  // The proxy's user and password belong to the profile but are not shown.
  Group("ユーザ名", ProxyUserName, GroupBox7)->hide();
  Group("パスワード", ProxyPasswd, GroupBox7)->hide();

  grpExtended = new TExtendedSettingsGroup(this);
  connect(WebURL, &QLineEdit::textChanged, grpExtended,
          [this](const QString& url) { grpExtended->SetWebUrlGiven(!url.trimmed().isEmpty()); });
  connect(grpExtended, &TExtendedSettingsGroup::ForgetPin, this, [this](const QString& key) {
    // Kept until OK saves the profile; CANCEL loads the pin again.
    profile_->Extended.Clear(key.toStdString());
    grpExtended->ShowPins(profile_->Extended);
  });
  connect(grpExtended, &TExtendedSettingsGroup::DefaultPortChanged, this, [this](int from, int to) {
    // A port the user chose stays; the other mode's usual port follows.
    if (WebPort->value() == from) WebPort->setValue(to);
  });

  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("CANCEL", this);
  Button2->setObjectName("Button2");
  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
  connect(ShellTreeView1, &TShellFolderTree::Changed, this, [this] {
    // The label follows the tree (a click or a key there).
    std::string folder = ShellTreeView1->SelectedFolder();
    if (!folder.empty() && QStr(folder) != LocalRootDir->text()) LocalRootDir->setText(QStr(folder));
    ShowRootMissing();
  });

  // The proxy sits under the root folder, so that the extended settings
  // follow the server fields and the dialog keeps to a laptop's height.
  auto* left = new QVBoxLayout;
  left->addWidget(GroupBox1, 1);
  left->addWidget(chkUseProxy);
  left->addWidget(GroupBox7);
  left->addWidget(grpExtended->grpPublish);
  auto* right = new QVBoxLayout;
  right->addWidget(GroupBox2);
  right->addWidget(grpExtended);
  right->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  right->addLayout(buttons);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 2);
  columns->addLayout(right, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Group("サイト名称", edName, this));
  layout->addLayout(columns, 1);
  resize(820, 700);
}

void TfrmSightEdit::AttachConfig(TConfigFile& config) {
  profile_ = std::make_unique<TSiteProfile>(config);
  profile_->SetFolderTree(this);
  editor_ = std::make_unique<TSiteEditor>(*profile_, *messenger_);
  WriteControls();
}

std::string TfrmSightEdit::SelectedFolder() const { return ToCp932(LocalRootDir->text()); }

void TfrmSightEdit::SelectFolder(const std::string& path) {
  if (path.empty()) {
    ShellTreeView1->setCurrentIndex(QModelIndex());
    LocalRootDir->clear();
    return;
  }
  if (!ShellTreeView1->SetSelectedFolder(path)) throw EPathSettingError(path);
  // The label shows the folder as the tree has it: a root saved with a
  // trailing separator would otherwise refuse itself in the main window.
  LocalRootDir->setText(QStr(ShellTreeView1->SelectedFolder()));
}

TSiteProfile& TfrmSightEdit::Profile() {
  ReadControls();
  return *profile_;
}

void TfrmSightEdit::LoadProfile(const std::string& siteName) {
  ReadControls();
  try {
    profile_->LoadProfile(siteName);
    // The tree's change after the selection: the root as the tree has it.
    profile_->FolderTreeChanged();
  } catch (...) {
    WriteControls();  // what was read before the failure stays shown
    throw;
  }
  WriteControls();
}

bool TfrmSightEdit::LoadProfileKeepingMissingRoot(const std::string& siteName) {
  ReadControls();
  bool found = profile_->LoadProfileKeepingMissingRoot(siteName);
  if (found) profile_->FolderTreeChanged();
  WriteControls();
  return found;
}

void TfrmSightEdit::ShowRootMissing() {
  const std::string root = ToCp932(LocalRootDir->text());
  lblRootMissing->setVisible(!root.empty() && !DirectoryExists(root));
}

void TfrmSightEdit::ReadControls() {
  TSiteProfile& p = *profile_;
  p.edName = ToCp932(edName->text());
  p.LocalRootDir = ToCp932(LocalRootDir->text());
  p.WebHostName = ToCp932(WebHostName->text());
  p.WebUserName = ToCp932(WebUserName->text());
  p.WebPasswd = ToCp932(WebPasswd->text());
  p.WebPort = WebPort->value();
  p.WebURL = ToCp932(WebURL->text());
  p.chkUseProxy = chkUseProxy->isChecked();
  p.ProxyHostName = ToCp932(ProxyHostName->text());
  p.ProxyUserName = ToCp932(ProxyUserName->text());
  p.ProxyPasswd = ToCp932(ProxyPasswd->text());
  p.ProxyPort = ProxyPort->value();
  grpExtended->Read(p.Extended);
}

void TfrmSightEdit::WriteControls() {
  const TSiteProfile& p = *profile_;
  edName->setText(QStr(p.edName));
  LocalRootDir->setText(QStr(p.LocalRootDir));
  WebHostName->setText(QStr(p.WebHostName));
  WebUserName->setText(QStr(p.WebUserName));
  WebPasswd->setText(QStr(p.WebPasswd));
  WebPort->setValue(p.WebPort);
  WebURL->setText(QStr(p.WebURL));
  chkUseProxy->setChecked(p.chkUseProxy);
  ProxyHostName->setText(QStr(p.ProxyHostName));
  ProxyUserName->setText(QStr(p.ProxyUserName));
  ProxyPasswd->setText(QStr(p.ProxyPasswd));
  ProxyPort->setValue(p.ProxyPort);
  grpExtended->Show(p.Extended);
  ShowRootMissing();
}

bool TfrmSightEdit::Edit(TStringList& siteList) {
  editor_->SetSiteList(&siteList);
  int result = exec();
  editor_->SetSiteList(nullptr);
  return result == QDialog::Accepted;
}

void TfrmSightEdit::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ReadControls();
  // A pin remembered since the profile was shown (a trust prompt) shows now.
  grpExtended->ShowPins(profile_->Extended);
  editor_->FormShow();
  RestorePlacement(IniGT1, "sightedit", *this);
}

void TfrmSightEdit::done(int result) {
  // FormClose, on every closing. A settings file that cannot be written
  // (reported once at start) never keeps the dialog open.
  try {
    StorePlacement(IniGT1, "sightedit", *this);
  } catch (const std::exception&) {
  }
  QDialog::done(result);
}

void TfrmSightEdit::Button1Click() {
  ReadControls();
  // A site without a root folder could never be loaded again. Deleting a
  // site (a blank name) needs none, and a name the editor refuses is
  // refused for its name first.
  const std::string name = profile_->CurrentSiteName();
  const bool saving = !CharTrim(name).empty() && name != kNewSiteName;
  if (saving && (profile_->LocalRootDir.empty() || !DirectoryExists(profile_->LocalRootDir))) {
    messenger_->ShowMessage(TMessageKind::Warning, "基点フォルダーを選択してください。");
    return;
  }
  TModalResult result = editor_->Button1Click();
  WriteControls();
  if (result == TModalResult::Ok) accept();
}

void TfrmSightEdit::Button2Click() {
  ReadControls();
  // CANCEL, Esc and the close box always close: a profile that cannot be
  // read again is reported, and the dialog goes all the same.
  Guarded([this] { editor_->Button2Click(); });
  WriteControls();
  QDialog::reject();
}

void TfrmSightEdit::reject() {
  // Esc and the window's close box end here: they throw the edits away as
  // CANCEL does, or the unsaved fields would stay the current profile.
  Guarded([this] { Button2Click(); });
}

void TfrmSightEdit::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    TMessageBoxes::Show(this, TMessageKind::Warning, e.what());
  }
}

}  // namespace tovra
