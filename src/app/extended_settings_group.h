// TExtendedSettingsGroup: the site dialog's group "拡張設定", the per-site
// connection and encoding settings of the profile section of that name. It
// shows what a profile holds, absent keys as what they stand for, and reads
// back only what the user changed: a key the user left alone keeps its
// state, so a profile without the section is saved without it. The pins
// are shown read-only; forgetting one is asked of the dialog, which owns
// the profile. It also shows where the passwords are kept and whether each
// run is checked at the public address. UI thread only.
#pragma once

#include <QGroupBox>

#include "sites/extended_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace tovra {

class TElidedField;

class TExtendedSettingsGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit TExtendedSettingsGroup(QWidget* parent = nullptr);

  // Shows the settings in the controls.
  void Show(const TExtendedSettings& settings);
  // Stores in `settings` every value the controls hold that differs from
  // what `settings` means now; equal values leave the key as it is
  // (absent or present). A file name field left empty makes the key absent.
  void Read(TExtendedSettings& settings) const;
  // Shows the pins of `settings` (after one was forgotten or remembered);
  // the field of the chosen protocol's pin is the one visible.
  void ShowPins(const TExtendedSettings& settings);
  // The port a connection of the shown protocol and encryption uses unless
  // the site names another: 22 for SFTP, 990 for implicit TLS, else 21.
  int DefaultPort() const;
  // The check after each run needs a public address: its box is usable
  // only while the dialog's WebURL holds one.
  void SetWebUrlGiven(bool given);

  QComboBox* cmbDataConnection;
  QComboBox* cmbEncryption;
  QComboBox* cmbProtocol;
  QCheckBox* chkReuseConnection;
  // On: the site's passwords are kept in the desktop's keyring.
  QCheckBox* chkPasswordStore;
  // On: each completed run is followed by the check at the public address.
  QCheckBox* chkVerifyAfterUpload;
  QSpinBox* spnConnections;
  QComboBox* cmbPageEncoding;
  QComboBox* cmbRemoteNameEncoding;
  QComboBox* cmbReferences;  // References: what travels with a page
  TElidedField* edCertificateSha256;
  QPushButton* btnForgetCertificate;
  TElidedField* edHostKeySha256;
  QPushButton* btnForgetHostKey;
  QLineEdit* edPrivateKeyFile;
  QToolButton* btnBrowseKeyFile;  // picks the key file in a file dialog
  QCheckBox* chkAtomicUpload;
  QLineEdit* edPublishExclude;  // patterns separated by ";"
  // The atomic store box and the publish exclusions, placed by the dialog.
  QGroupBox* grpPublish;

 signals:
  // The user asked to forget the pin held under `key`.
  void ForgetPin(const QString& key);
  // The user chose a protocol or encryption whose default port differs
  // from the one before.
  void DefaultPortChanged(int from, int to);

 private:
  QWidget* KeyFileRow();  // the key file field with its browse button
  void UserChoseMode();
  void EnableForProtocol();

  QWidget* certificatePin_;
  QWidget* hostKeyPin_;
  int shownDefaultPort_ = 21;
};

}  // namespace tovra
