// The site dialog's group 拡張設定 on the offscreen platform: a stored
// profile shows what its absent keys mean and is saved byte for byte as it
// was when the user changes nothing; a new site starts with the new-site
// values; an edit is saved and shown again after switching sites; every way
// of leaving without OK restores the group.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest/QtTest>
#include <functional>
#include <vector>

#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/app_modules.h"
#include "app/dialog_fields.h"
#include "app/extended_settings_group.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "gui_test_support.h"
#include "platform/files.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::StartWindow;
using tovra::test::WhenModal;

namespace {

constexpr char kPin[] =
    "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";
constexpr char kHostKey[] = "SHA256:uNiVztksCsDhcc0u9e8BujQXVUpKZIDTMczCvj3tD2s";

TExtendedSettings Settings(std::initializer_list<std::pair<const char*, const char*>> values) {
  TExtendedSettings settings;
  for (const auto& [key, value] : values) settings.Set(key, value);
  return settings;
}

// The settings as the profile file holds them now.
TExtendedSettings StoredSettings(const std::string& site) {
  TConfigFile config;
  TSiteProfile profile(config);
  profile.LoadProfile(site);
  return profile.Extended;
}

// Picks the item holding `value` as the user does (the activation included).
void Choose(QComboBox* box, const char* value) {
  int index = box->findData(QString::fromLatin1(value));
  QVERIFY2(index >= 0, value);
  box->setCurrentIndex(index);
  emit box->activated(index);
}

// What the group shows, in the keys' own spelling; the pin is the one shown
// for the chosen protocol.
struct Shown {
  std::string protocol, data, encryption, page, names, reuse, connections, keyFile, pin, store;
  bool operator==(const Shown&) const = default;
};

Shown ShownBy(const TExtendedSettingsGroup* g) {
  auto data = [](const QComboBox* box) { return box->currentData().toString().toStdString(); };
  bool ftp = data(g->cmbProtocol) == "ftp";
  return {data(g->cmbProtocol),
          data(g->cmbDataConnection),
          data(g->cmbEncryption),
          data(g->cmbPageEncoding),
          data(g->cmbRemoteNameEncoding),
          g->chkReuseConnection->isChecked() ? "1" : "0",
          std::to_string(g->spnConnections->value()),
          ToCp932(g->edPrivateKeyFile->text()),
          ToCp932((ftp ? g->edCertificateSha256 : g->edHostKeySha256)->Whole()),
          g->chkPasswordStore->isChecked() ? "keyring" : "file"};
}

Shown Meaning(const TExtendedSettings& s) {
  bool ftp = s.Value("Protocol") == "ftp";
  return {s.Value("Protocol"),     s.Value("DataConnection"),     s.Value("Encryption"),
          s.Value("PageEncoding"), s.Value("RemoteNameEncoding"), s.Value("ReuseConnection"),
          s.Value("Connections"),  s.Value("PrivateKeyFile"),     ftp ? s.CertificateSha256() : s.HostKeySha256(),
          s.Value("PasswordStore")};
}

// Every choice moved away and back, the check box and count too: a key the
// user ends where it was must stay as it was.
void ChangeAndChangeBack(TExtendedSettingsGroup* g) {
  for (QComboBox* box :
       {g->cmbProtocol, g->cmbDataConnection, g->cmbEncryption, g->cmbPageEncoding, g->cmbRemoteNameEncoding}) {
    int was = box->currentIndex();
    box->setCurrentIndex((was + 1) % box->count());
    emit box->activated(box->currentIndex());
    box->setCurrentIndex(was);
    emit box->activated(was);
  }
  for (QCheckBox* box : {g->chkReuseConnection, g->chkPasswordStore}) {
    box->toggle();
    box->toggle();
  }
  int count = g->spnConnections->value();
  g->spnConnections->setValue(count == 8 ? 7 : 8);
  g->spnConnections->setValue(count);
}

}  // namespace

// QCOMPARE prints a group that differs field by field.
namespace QTest {
template <>
char* toString(const Shown& s) {
  return QTest::toString(QString::fromStdString(s.protocol + " " + s.data + " " + s.encryption + " " + s.page + " " +
                                                s.names + " reuse=" + s.reuse + " n=" + s.connections +
                                                " key=" + s.keyFile + " pin=" + s.pin + " store=" + s.store));
}
}  // namespace QTest

Q_DECLARE_METATYPE(TExtendedSettings)

class SiteDialogExtendedTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void aStoredProfileShowsItsKeysAndIsSavedUnchanged_data() {
    QTest::addColumn<TExtendedSettings>("stored");
    QTest::addColumn<QByteArray>("handWritten");
    QTest::newRow("saved before the section existed") << TExtendedSettings() << QByteArray();
    QTest::newRow("some keys") << Settings({{"Encryption", "explicit"},
                                            {"CertificateSha256", kPin},
                                            {"PageEncoding", "utf-8"}})
                               << QByteArray();
    QTest::newRow("every key") << Settings({{"DataConnection", "passive"},
                                            {"Encryption", "implicit"},
                                            {"CertificateSha256", kPin},
                                            {"PageEncoding", "auto"},
                                            {"RemoteNameEncoding", "utf-8"},
                                            {"ReuseConnection", "1"},
                                            {"Connections", "8"},
                                            {"Protocol", "sftp"},
                                            {"HostKeySha256", kHostKey},
                                            {"PrivateKeyFile", "/home/web/.ssh/鍵"},
                                            {"PasswordStore", "file"},
                                            {"AtomicUpload", "1"},
                                            {"PublishExclude", "*.map;下書き/"}})
                               << QByteArray();
    // Values this version does not accept show as absent and stay in the file.
    QTest::newRow("values not accepted") << TExtendedSettings()
                                         << QByteArray("\r\n[拡張設定]\r\nConnections=16\r\nProtocol=gopher\r\n");
  }

  void aStoredProfileShowsItsKeysAndIsSavedUnchanged() {
    QFETCH(TExtendedSettings, stored);
    QFETCH(QByteArray, handWritten);
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"), 21, "", stored);
    if (!handWritten.isEmpty()) {
      fx.dir.Write(ProfileFileName("A").substr(fx.dir.Path().size() + 1),
                   ReadFileBytes(ProfileFileName("A")) + handWritten.toStdString());
    }
    const std::string before = ReadFileBytes(ProfileFileName("A"));
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    Shown shown;
    WhenModal([&](QWidget*) {
      shown = ShownBy(dialog->grpExtended);
      ChangeAndChangeBack(dialog->grpExtended);
      dialog->Button1->click();
    });
    modules.Form1()->Button3->click();
    QCOMPARE(shown, Meaning(stored));
    QCOMPARE(dialog->Profile().Extended, stored);
    QCOMPARE(ReadFileBytes(ProfileFileName("A")), before);
    QVERIFY(TMessageBoxes::TakeShown().empty());
  }

  void aNewSiteStartsWithTheNewSiteValues() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/index.html", "");
    TApplicationModules modules;
    TfrmSightEdit* dialog = modules.SightEdit();
    Shown shown;
    // First start: the dialog opens by itself on a new site.
    WhenModal([&](QWidget*) {
      shown = ShownBy(dialog->grpExtended);
      dialog->edName->setText(QStr("新サイト"));
      QVERIFY(dialog->ShellTreeView1->SetSelectedFolder(root));
      dialog->Button1->click();
    });
    StartWindow(modules);
    QTRY_VERIFY(!dialog->isVisible());
    TExtendedSettings defaults = TExtendedSettings::NewSiteDefaults();
    QCOMPARE(shown, Meaning(defaults));
    defaults.Set("PasswordStore", "file");  // no keyring answers the tests
    QCOMPARE(StoredSettings("新サイト"), defaults);
    // The new-site values are written out, not left to what absence means.
    QVERIFY(ReadFileBytes(ProfileFileName("新サイト")).find("DataConnection=passive") != std::string::npos);
  }

  void theNewEntryShowsTheNewSiteValuesAfterAnotherSite() {
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"), 21, "", Settings({{"Protocol", "sftp"}, {"Connections", "2"}}));
    TApplicationModules modules;
    StartWindow(modules);
    QComboBox* sites = modules.Form1()->ComboBox1;
    sites->setCurrentIndex(sites->findText(QStr("新規登録")));
    modules.Form1()->ComboBox1Select();
    QCOMPARE(ShownBy(modules.SightEdit()->grpExtended), Meaning(TExtendedSettings::NewSiteDefaults()));
  }

  void anEditIsSavedAndShownAgainAfterSwitchingSites_data() {
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("data connection") << 0 << "DataConnection"
                                     << "passive";
    QTest::newRow("encryption") << 1 << "Encryption"
                                << "explicit";
    QTest::newRow("protocol") << 2 << "Protocol"
                              << "sftp";
    QTest::newRow("reuse") << 3 << "ReuseConnection"
                           << "1";
    QTest::newRow("connections") << 4 << "Connections"
                                 << "6";
    QTest::newRow("page encoding") << 5 << "PageEncoding"
                                   << "utf-8";
    QTest::newRow("remote names") << 6 << "RemoteNameEncoding"
                                  << "auto";
    QTest::newRow("key file") << 7 << "PrivateKeyFile"
                              << "/home/web/.ssh/id_ed25519";
    QTest::newRow("check after each run") << 8 << "VerifyAfterUpload"
                                          << "1";
    QTest::newRow("atomic upload") << 9 << "AtomicUpload"
                                   << "1";
    QTest::newRow("publish exclusions") << 10 << "PublishExclude"
                                        << "*.map;drafts/";
  }

  void anEditIsSavedAndShownAgainAfterSwitchingSites() {
    QFETCH(int, edit);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const std::function<void(TExtendedSettingsGroup*)> edits[] = {
        [](TExtendedSettingsGroup* g) { Choose(g->cmbDataConnection, "passive"); },
        [](TExtendedSettingsGroup* g) { Choose(g->cmbEncryption, "explicit"); },
        [](TExtendedSettingsGroup* g) { Choose(g->cmbProtocol, "sftp"); },
        [](TExtendedSettingsGroup* g) { g->chkReuseConnection->setChecked(true); },
        [](TExtendedSettingsGroup* g) { g->spnConnections->setValue(6); },
        [](TExtendedSettingsGroup* g) { Choose(g->cmbPageEncoding, "utf-8"); },
        [](TExtendedSettingsGroup* g) { Choose(g->cmbRemoteNameEncoding, "auto"); },
        [](TExtendedSettingsGroup* g) { g->edPrivateKeyFile->setText(" /home/web/.ssh/id_ed25519 "); },
        // The box waits for a public address to check.
        [](TExtendedSettingsGroup* g) {
          QVERIFY(!g->chkVerifyAfterUpload->isEnabled());
          qobject_cast<TfrmSightEdit*>(g->window())->WebURL->setText("http://example.jp/");
          QVERIFY(g->chkVerifyAfterUpload->isEnabled());
          g->chkVerifyAfterUpload->setChecked(true);
        },
        [](TExtendedSettingsGroup* g) { g->chkAtomicUpload->setChecked(true); },
        [](TExtendedSettingsGroup* g) { g->edPublishExclude->setText(" *.map;drafts/ "); },
    };
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"));
    fx.AddSite("B", fx.dir.Sub("b"), 21, "", Settings({{"PageEncoding", "auto"}}));
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    WhenModal([&](QWidget*) {
      edits[edit](dialog->grpExtended);
      dialog->Button1->click();
    });
    modules.Form1()->Button3->click();
    TExtendedSettings expected;
    expected.Set(key.toStdString(), value.toStdString());
    // Only the edited key is written; the others stay absent.
    QCOMPARE(StoredSettings("A"), expected);

    QComboBox* sites = modules.Form1()->ComboBox1;
    auto select = [&](const char* site) {
      sites->setCurrentIndex(sites->findText(QStr(site)));
      modules.Form1()->ComboBox1Select();
    };
    select("B");
    QCOMPARE(ShownBy(dialog->grpExtended), Meaning(Settings({{"PageEncoding", "auto"}})));
    select("A");
    QCOMPARE(ShownBy(dialog->grpExtended), Meaning(expected));
    QCOMPARE(dialog->Profile().Extended, expected);
  }

  void leavingWithoutOkRestoresTheGroup_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("CANCEL") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
  }

  void leavingWithoutOkRestoresTheGroup() {
    QFETCH(int, way);
    AppFolderFixture fx;
    const TExtendedSettings stored = Settings({{"Encryption", "explicit"}, {"CertificateSha256", kPin}});
    fx.AddSite("A", fx.dir.Sub("a"), 21, "", stored);
    const std::string before = ReadFileBytes(ProfileFileName("A"));
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    TExtendedSettingsGroup* g = dialog->grpExtended;
    const std::function<void()> leave[] = {[&] { dialog->Button2->click(); },
                                           [&] { QTest::keyClick(g->cmbEncryption, Qt::Key_Escape); },
                                           [&] { dialog->close(); }};
    bool forgotten = false;
    WhenModal([&](QWidget*) {
      g->btnForgetCertificate->click();
      forgotten = g->edCertificateSha256->Whole().isEmpty() && !g->btnForgetCertificate->isEnabled();
      Choose(g->cmbEncryption, "none");
      Choose(g->cmbProtocol, "sftp");
      g->spnConnections->setValue(8);
      g->chkReuseConnection->setChecked(true);
      g->edPrivateKeyFile->setText("/tmp/key");
      leave[way]();
    });
    modules.Form1()->Button3->click();
    QVERIFY(forgotten);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(ShownBy(g), Meaning(stored));
    QCOMPARE(dialog->Profile().Extended, stored);
    QCOMPARE(dialog->WebPort->value(), 21);  // the port that followed SFTP is back too
    QCOMPARE(ReadFileBytes(ProfileFileName("A")), before);
    QVERIFY(TMessageBoxes::TakeShown().empty());
  }

  void aKeyFileWithAControlCharacterCannotBeEntered() {
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"));
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    QString typed;
    bool cancelled = false;
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);  // a refusal must not wait for a user
    WhenModal([&](QWidget*) {
      Choose(dialog->grpExtended->cmbProtocol, "sftp");
      dialog->grpExtended->edPrivateKeyFile->insert("/home/web/.ssh/\tid");
      typed = dialog->grpExtended->edPrivateKeyFile->text();
      dialog->Button2->click();
      cancelled = !dialog->isVisible();
      if (!cancelled) static_cast<QDialog*>(dialog)->done(QDialog::Rejected);
    });
    modules.Form1()->Button3->click();
    std::vector<std::string> shown = TMessageBoxes::TakeShown();
    if (shown.empty()) TMessageBoxes::ConfirmOkCancel(nullptr, "");  // takes back the answer no box used
    TMessageBoxes::TakeShown();
    QVERIFY(shown.empty());
    QVERIFY(cancelled);
    QVERIFY(!typed.contains('\t'));
  }

  void aForgottenPinIsGoneAfterOk_data() {
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("pinKey");
    QTest::newRow("certificate") << "ftp"
                                 << "CertificateSha256";
    QTest::newRow("host key") << "sftp"
                              << "HostKeySha256";
  }

  void aForgottenPinIsGoneAfterOk() {
    QFETCH(QString, protocol);
    QFETCH(QString, pinKey);
    AppFolderFixture fx;
    TExtendedSettings stored = Settings({{"CertificateSha256", kPin}, {"HostKeySha256", kHostKey}});
    stored.Set("Protocol", protocol.toStdString());
    fx.AddSite("A", fx.dir.Sub("a"), 21, "", stored);
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    TExtendedSettingsGroup* g = dialog->grpExtended;
    bool onlyThatPinShown = false;
    QString narrow, wide, tip;
    WhenModal([&](QWidget*) {
      bool ftp = protocol == "ftp";
      onlyThatPinShown = g->edCertificateSha256->isVisible() == ftp && g->edHostKeySha256->isVisible() == !ftp;
      TElidedField* pin = ftp ? g->edCertificateSha256 : g->edHostKeySha256;
      pin->resize(120, pin->height());
      narrow = pin->text();
      tip = pin->toolTip();
      pin->resize(pin->fontMetrics().horizontalAdvance(pin->Whole()) + 40, pin->height());
      wide = pin->text();
      (ftp ? g->btnForgetCertificate : g->btnForgetHostKey)->click();
      dialog->Button1->click();
    });
    modules.Form1()->Button3->click();
    QVERIFY(onlyThatPinShown);
    // Too narrow: both ends of the pin show, around an ellipsis; the tip
    // holds it whole, as does the field once it is wide enough.
    const QString whole = QString::fromLatin1(pinKey == "HostKeySha256" ? kHostKey : kPin);
    QVERIFY2(narrow.contains(QChar(0x2026)) && narrow.startsWith(whole.left(3)) && narrow.endsWith(whole.right(3)),
             qPrintable(narrow));
    QVERIFY2(narrow.size() < whole.size(), qPrintable(narrow));
    QCOMPARE(tip, whole);
    QCOMPARE(wide, whole);
    TExtendedSettings expected = stored;
    expected.Clear(pinKey.toStdString());
    QCOMPARE(StoredSettings("A"), expected);
  }

  void thePortFollowsTheChosenModeUnlessTheUserSetAnother_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<TExtendedSettings>("stored");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("expected");
    const TExtendedSettings none;
    QTest::newRow("FTP to SFTP") << 21 << none << "Protocol"
                                 << "sftp" << 22;
    QTest::newRow("own port stays") << 2121 << none << "Protocol"
                                    << "sftp" << 2121;
    QTest::newRow("SFTP to FTP") << 22 << Settings({{"Protocol", "sftp"}}) << "Protocol"
                                 << "ftp" << 21;
    QTest::newRow("implicit TLS") << 21 << none << "Encryption"
                                  << "implicit" << 990;
    QTest::newRow("implicit to explicit") << 990 << Settings({{"Encryption", "implicit"}}) << "Encryption"
                                          << "explicit" << 21;
    QTest::newRow("same default port") << 21 << none << "Encryption"
                                       << "explicit" << 21;
    // A profile is shown as stored: its port is not moved to the mode's.
    QTest::newRow("only shown") << 21 << Settings({{"Protocol", "sftp"}}) << QString() << QString() << 21;
  }

  void thePortFollowsTheChosenModeUnlessTheUserSetAnother() {
    QFETCH(int, port);
    QFETCH(TExtendedSettings, stored);
    QFETCH(QString, combo);
    QFETCH(QString, choice);
    QFETCH(int, expected);
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"), port, "", stored);
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    int shownPort = 0;
    WhenModal([&](QWidget*) {
      if (!combo.isEmpty()) {
        Choose(dialog->grpExtended->findChild<QComboBox*>("cmb" + combo), choice.toLatin1().constData());
      }
      shownPort = dialog->WebPort->value();
      dialog->Button1->click();
    });
    modules.Form1()->Button3->click();
    QCOMPARE(shownPort, expected);
    QCOMPARE(dialog->Profile().WebPort, expected);
  }
};

QTEST_MAIN(SiteDialogExtendedTest)
#include "site_dialog_extended_test.moc"
