// The site dialog with a real keyring (a private bus with the keyring
// daemon): キーリングに保存 is on for a new site, its password never reaches
// the profile file, and the dialog shows it again from the keyring. The
// process keeps one bus for its life, so the keyring lives as long as it.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QtTest>
#include <memory>

#include "app/WebSightEdit00.h"
#include "app/app_modules.h"
#include "app/extended_settings_group.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "gui_test_support.h"
#include "platform/files.h"
#include "sites/dmConfig.h"
#include "support/keyring_session.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::StartWindow;
using tovra::test::WhenModal;

class SiteDialogKeyringTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    keyring_ = std::make_unique<test::KeyringSession>();
    if (!keyring_->Unavailable().empty()) QSKIP(keyring_->Unavailable().c_str());
  }
  void cleanupTestCase() { keyring_.reset(); }

  void aNewSiteKeepsItsPasswordInTheKeyring() {
    AppFolderFixture fx;
    fx.dir.Write("site/index.html", "");
    TApplicationModules modules;
    TfrmSightEdit* dialog = modules.SightEdit();
    bool offered = false;
    WhenModal([&](QWidget*) {  // the first start opens the dialog on a new site
      offered = dialog->grpExtended->chkPasswordStore->isChecked();
      dialog->edName->setText(QStr("鍵サイト"));
      QVERIFY(dialog->ShellTreeView1->SetSelectedFolder(fx.dir.Sub("site")));
      dialog->WebPasswd->setText(QStr("窓の鍵"));
      dialog->Button1->click();
    });
    StartWindow(modules);
    QTRY_VERIFY(!dialog->isVisible());
    QVERIFY(offered);
    const std::string text = ReadFileBytes(ProfileFileName("鍵サイト"));
    QVERIFY2(text.find("WebPasswd=\r\n") != std::string::npos, text.c_str());
    QVERIFY(text.find("PasswordStore=keyring\r\n") != std::string::npos);
    QCOMPARE(keyring_->Lookup("鍵サイト", "WebPasswd"), std::optional<std::string>("窓の鍵"));

    QString shown;
    bool stored = false;
    WhenModal([&](QWidget*) {
      shown = dialog->WebPasswd->text();
      stored = dialog->grpExtended->chkPasswordStore->isChecked();
      dialog->Button2->click();
    });
    modules.Form1()->Button3->click();
    QCOMPARE(shown, QStr("窓の鍵"));
    QVERIFY(stored);
    QVERIFY(TMessageBoxes::TakeShown().empty());
  }

 private:
  std::unique_ptr<test::KeyringSession> keyring_;
};

QTEST_MAIN(SiteDialogKeyringTest)
#include "site_dialog_keyring_test.moc"
