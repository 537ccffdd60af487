#include "app/extended_settings_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

#include "app/dialog_fields.h"
#include "app/qt_text.h"
#include "util/char_string.h"

namespace tovra {

namespace {

constexpr int kFtpPort = 21;
constexpr int kSftpPort = 22;
constexpr int kImplicitTlsPort = 990;

// A choice list whose items carry the key's value in its stored spelling.
QComboBox* Choices(const char* key, std::initializer_list<std::pair<const char*, const char*>> items, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QStringLiteral("cmb") + QString::fromLatin1(key));
  box->setProperty("extendedKey", QString::fromLatin1(key));
  for (const auto& [caption, value] : items) box->addItem(QStr(caption), QString::fromLatin1(value));
  return box;
}

std::string ChosenValue(const QComboBox* box) { return box->currentData().toString().toStdString(); }

void ShowChoice(QComboBox* box, const TExtendedSettings& settings) {
  std::string key = box->property("extendedKey").toString().toStdString();
  int index = box->findData(QString::fromStdString(settings.Value(key)));
  if (index >= 0) box->setCurrentIndex(index);
}

// A stored key gets the value only when it changes what the key means now.
void StoreIfChanged(TExtendedSettings& settings, const char* key, const std::string& value) {
  if (value != settings.Value(key)) settings.Set(key, value);
}

// A text field: trimmed, and an empty one makes the key absent.
void StoreTextIfChanged(TExtendedSettings& settings, const char* key, const QLineEdit* field) {
  std::string text = CharTrim(ToCp932(field->text()));
  if (text == settings.Value(key)) return;
  if (text.empty()) {
    settings.Clear(key);
  } else {
    settings.Set(key, text);
  }
}

// A read-only pin with the button that forgets it, as one field.
QWidget* PinField(TElidedField*& edit, QPushButton*& button, const char* name, QWidget* parent) {
  auto* field = new QWidget(parent);
  auto* row = new QHBoxLayout(field);
  row->setContentsMargins(0, 0, 0, 0);
  edit = new TElidedField(name, field);
  edit->setPlaceholderText(QStr("記憶していません"));
  button = new QPushButton(QStr("忘れる"), field);
  button->setObjectName(QStringLiteral("btnForget") + QString::fromLatin1(name).mid(2));
  row->addWidget(edit, 1);
  row->addWidget(button);
  return field;
}

}  // namespace

QWidget* TExtendedSettingsGroup::KeyFileRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  edPrivateKeyFile->setParent(row);
  btnBrowseKeyFile = new QToolButton(row);
  btnBrowseKeyFile->setObjectName("btnBrowseKeyFile");
  btnBrowseKeyFile->setText(QStr("参照…"));
  connect(btnBrowseKeyFile, &QToolButton::clicked, this, [this] {
    const QString current = edPrivateKeyFile->text();
    const QString start = current.isEmpty() ? QDir::homePath() + "/.ssh" : QFileInfo(current).absolutePath();
    const QString chosen = QFileDialog::getOpenFileName(this, QStr("秘密鍵ファイルを選ぶ"), start);
    if (!chosen.isEmpty()) edPrivateKeyFile->setText(chosen);
  });
  layout->addWidget(edPrivateKeyFile, 1);
  layout->addWidget(btnBrowseKeyFile);
  return row;
}

TExtendedSettingsGroup::TExtendedSettingsGroup(QWidget* parent) : QGroupBox(QStr(kExtendedSection), parent) {
  setObjectName("grpExtended");
  cmbProtocol = Choices("Protocol", {{"FTP", "ftp"}, {"SFTP", "sftp"}}, this);
  cmbDataConnection = Choices("DataConnection", {{"パッシブ", "passive"}, {"アクティブ", "active"}}, this);
  cmbEncryption = Choices("Encryption",
                          {{"なし", "none"},
                           {"使えれば TLS", "explicit-if-available"},
                           {"TLS 必須", "explicit"},
                           {"暗黙の TLS", "implicit"}},
                          this);
  cmbPageEncoding = Choices("PageEncoding", {{"自動", "auto"}, {"Shift_JIS", "shift_jis"}, {"UTF-8", "utf-8"}}, this);
  cmbRemoteNameEncoding =
      Choices("RemoteNameEncoding", {{"自動", "auto"}, {"CP932", "cp932"}, {"UTF-8", "utf-8"}}, this);
  cmbReferences = Choices("References", {{"ブラウザが読むもの", "modern"}, {"従来の方法", "classic"}}, this);
  chkReuseConnection = new QCheckBox(QStr("接続を再利用する"), this);
  chkReuseConnection->setObjectName("chkReuseConnection");
  chkVerifyAfterUpload = new QCheckBox(QStr("転送後に公開アドレスで確認"), this);
  chkVerifyAfterUpload->setObjectName("chkVerifyAfterUpload");
  chkVerifyAfterUpload->setEnabled(false);
  chkPasswordStore = new QCheckBox(QStr("キーリングに保存"), this);
  chkPasswordStore->setObjectName("chkPasswordStore");
  chkPasswordStore->setToolTip(QStr("パスワードをプロファイルではなくデスクトップのキーリングに保存します"));
  spnConnections = new QSpinBox(this);
  spnConnections->setObjectName("spnConnections");
  spnConnections->setRange(1, 8);
  // One row for the pin of the chosen protocol: the server's certificate
  // for FTP, its host key for SFTP.
  auto* pins = new QWidget(this);
  auto* pinRow = new QHBoxLayout(pins);
  pinRow->setContentsMargins(0, 0, 0, 0);
  certificatePin_ = PinField(edCertificateSha256, btnForgetCertificate, "edCertificateSha256", pins);
  hostKeyPin_ = PinField(edHostKeySha256, btnForgetHostKey, "edHostKeySha256", pins);
  pinRow->addWidget(certificatePin_);
  pinRow->addWidget(hostKeyPin_);
  edPrivateKeyFile = LineEdit("edPrivateKeyFile", this, true);
  // A control character (a pasted tab) is no part of a file name the key
  // accepts; refused here, it can never stop OK or CANCEL later.
  edPrivateKeyFile->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\x00-\\x1f]*")), edPrivateKeyFile));
  chkAtomicUpload = new QCheckBox(QStr("一時名で送って置き換える"), this);
  chkAtomicUpload->setObjectName("chkAtomicUpload");
  edPublishExclude = LineEdit("edPublishExclude", this, true);
  edPublishExclude->setPlaceholderText("*.map;drafts/");
  edPublishExclude->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\x00-\\x1f]*")), edPublishExclude));

  auto* grid = new QGridLayout(this);
  grid->addWidget(Group("プロトコル", cmbProtocol, this), 0, 0);
  grid->addWidget(Group("データ接続", cmbDataConnection, this), 0, 1);
  grid->addWidget(Group("暗号化", cmbEncryption, this), 0, 2);
  grid->addWidget(Group("ページの文字コード", cmbPageEncoding, this), 1, 0);
  grid->addWidget(Group("サーバーのファイル名", cmbRemoteNameEncoding, this), 1, 1);
  grid->addWidget(Group("同時接続数", spnConnections, this), 1, 2);
  grid->addWidget(Group("依存ファイルの集め方", cmbReferences, this), 2, 0);
  grid->addWidget(Group("秘密鍵ファイル", KeyFileRow(), this), 2, 1, 1, 2);
  grid->addWidget(Group("記憶した指紋", pins, this), 3, 0, 1, 3);
  grid->addWidget(chkReuseConnection, 4, 0);
  grid->addWidget(chkPasswordStore, 4, 1);
  grid->addWidget(chkVerifyAfterUpload, 4, 2);
  // The publishing settings sit in a group of their own, which the dialog
  // places under the proxy, so that the dialog keeps to a laptop's height.
  grpPublish = new QGroupBox(QStr("サイト公開"), this);
  grpPublish->setObjectName("grpPublish");
  auto* publish = new QVBoxLayout(grpPublish);
  publish->addWidget(chkAtomicUpload);
  publish->addWidget(Group("公開しないファイル", edPublishExclude, grpPublish));

  connect(btnForgetCertificate, &QPushButton::clicked, this, [this] { emit ForgetPin("CertificateSha256"); });
  connect(btnForgetHostKey, &QPushButton::clicked, this, [this] { emit ForgetPin("HostKeySha256"); });
  connect(cmbProtocol, &QComboBox::currentIndexChanged, this, [this] { EnableForProtocol(); });
  // Only the user's choice moves the port; showing a profile never does.
  connect(cmbProtocol, &QComboBox::activated, this, [this] { UserChoseMode(); });
  connect(cmbEncryption, &QComboBox::activated, this, [this] { UserChoseMode(); });
  Show(TExtendedSettings());
}

void TExtendedSettingsGroup::Show(const TExtendedSettings& settings) {
  for (QComboBox* box :
       {cmbProtocol, cmbDataConnection, cmbEncryption, cmbPageEncoding, cmbRemoteNameEncoding, cmbReferences}) {
    ShowChoice(box, settings);
  }
  chkReuseConnection->setChecked(settings.ReuseConnection());
  chkVerifyAfterUpload->setChecked(settings.VerifyAfterUpload());
  chkPasswordStore->setChecked(settings.PasswordStore() == TPasswordStore::Keyring);
  spnConnections->setValue(settings.Connections());
  edPrivateKeyFile->setText(QStr(settings.PrivateKeyFile()));
  chkAtomicUpload->setChecked(settings.AtomicUpload());
  edPublishExclude->setText(QStr(settings.PublishExclude()));
  ShowPins(settings);
  EnableForProtocol();
  shownDefaultPort_ = DefaultPort();
}

void TExtendedSettingsGroup::Read(TExtendedSettings& settings) const {
  for (const QComboBox* box :
       {cmbProtocol, cmbDataConnection, cmbEncryption, cmbPageEncoding, cmbRemoteNameEncoding, cmbReferences}) {
    std::string key = box->property("extendedKey").toString().toStdString();
    StoreIfChanged(settings, key.c_str(), ChosenValue(box));
  }
  StoreIfChanged(settings, "ReuseConnection", chkReuseConnection->isChecked() ? "1" : "0");
  StoreIfChanged(settings, "VerifyAfterUpload", chkVerifyAfterUpload->isChecked() ? "1" : "0");
  StoreIfChanged(settings, "PasswordStore", chkPasswordStore->isChecked() ? "keyring" : "file");
  StoreIfChanged(settings, "Connections", std::to_string(spnConnections->value()));
  StoreIfChanged(settings, "AtomicUpload", chkAtomicUpload->isChecked() ? "1" : "0");
  StoreTextIfChanged(settings, "PrivateKeyFile", edPrivateKeyFile);
  StoreTextIfChanged(settings, "PublishExclude", edPublishExclude);
}

void TExtendedSettingsGroup::SetWebUrlGiven(bool given) { chkVerifyAfterUpload->setEnabled(given); }

void TExtendedSettingsGroup::ShowPins(const TExtendedSettings& settings) {
  // A certificate's fingerprint is longer than its field: elided in the
  // middle, whole in the tip.
  edCertificateSha256->SetWhole(QStr(settings.CertificateSha256()));
  edHostKeySha256->SetWhole(QStr(settings.HostKeySha256()));
  btnForgetCertificate->setEnabled(!edCertificateSha256->Whole().isEmpty());
  btnForgetHostKey->setEnabled(!edHostKeySha256->Whole().isEmpty());
}

int TExtendedSettingsGroup::DefaultPort() const {
  if (ChosenValue(cmbProtocol) == "sftp") return kSftpPort;
  return ChosenValue(cmbEncryption) == "implicit" ? kImplicitTlsPort : kFtpPort;
}

void TExtendedSettingsGroup::UserChoseMode() {
  int port = DefaultPort();
  if (port == shownDefaultPort_) return;
  emit DefaultPortChanged(shownDefaultPort_, port);
  shownDefaultPort_ = port;
}

void TExtendedSettingsGroup::EnableForProtocol() {
  // The data connection and TLS are FTP's, a key file is SSH's; the other
  // protocol's values stay as they are.
  bool ftp = ChosenValue(cmbProtocol) == "ftp";
  cmbDataConnection->setEnabled(ftp);
  cmbEncryption->setEnabled(ftp);
  edPrivateKeyFile->setEnabled(!ftp);
  btnBrowseKeyFile->setEnabled(!ftp);
  certificatePin_->setVisible(ftp);
  hostKeyPin_->setVisible(!ftp);
}

}  // namespace tovra
