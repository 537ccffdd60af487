// The site information dialog on the offscreen platform: every way of
// leaving it without OK throws the edits away, and a site is never saved
// without a root folder.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest/QtTest>
#include <functional>

#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/app_modules.h"
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

class SiteDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void leavingWithoutOkThrowsTheEditsAway_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("CANCEL") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
  }

  void leavingWithoutOkThrowsTheEditsAway() {
    QFETCH(int, way);
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/js/menu.js", "");
    fx.AddSite("サイトA", root, 21, "http://example.jp/~a/");
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    const std::function<void()> leave[] = {[&] { dialog->Button2->click(); },
                                           [&] { QTest::keyClick(dialog->WebURL, Qt::Key_Escape); },
                                           [&] { dialog->close(); }};
    bool edited = false;
    WhenModal([&](QWidget*) {
      edited = dialog->ShellTreeView1->SetSelectedFolder(root + "/js");
      dialog->WebURL->setText("http://leak.example/");
      dialog->WebPort->setValue(2121);
      leave[way]();
    });
    modules.Form1()->Button3->click();
    QVERIFY(edited);
    QVERIFY(!dialog->isVisible());
    const TSiteProfile& profile = dialog->Profile();
    QCOMPARE(profile.LocalRootDir, root);
    QCOMPARE(profile.WebURL, std::string("http://example.jp/~a/"));
    QCOMPARE(profile.WebPort, 21);
    QCOMPARE(dialog->LocalRootDir->text(), QStr(root));
    QVERIFY(TMessageBoxes::TakeShown().empty());
  }

  void okWithoutARootFolderIsRefused_data() {
    QTest::addColumn<QString>("rootShown");
    QTest::newRow("none chosen") << QString();
    QTest::newRow("folder gone") << QStringLiteral("gone");
  }

  void okWithoutARootFolderIsRefused() {
    QFETCH(QString, rootShown);
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/index.html", "");
    TApplicationModules modules;
    TfrmSightEdit* dialog = modules.SightEdit();
    bool stayedOpen = false;
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    // First start: the dialog opens by itself.
    WhenModal([&](QWidget*) {
      dialog->edName->setText(QStr("マイサイト"));
      dialog->LocalRootDir->setText(rootShown.isEmpty() ? QString() : QStr(fx.dir.Sub("gone")));
      dialog->Button1->click();
      stayedOpen = dialog->isVisible();
      QVERIFY(dialog->ShellTreeView1->SetSelectedFolder(root));
      dialog->Button1->click();
    });
    StartWindow(modules);
    QTRY_VERIFY(!dialog->isVisible());
    QVERIFY(stayedOpen);
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{"基点フォルダーを選択してください。"});
    // Chosen afterwards, the site is saved with it and is the window's site.
    QVERIFY(FileExists(ProfileFileName("マイサイト")));
    QCOMPARE(modules.Form1()->CurrentSiteRoot, root);
  }

  void theNewEntryNameIsRefusedForItsNameFirst() {
    AppFolderFixture fx;
    TApplicationModules modules;
    TfrmSightEdit* dialog = modules.SightEdit();
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    WhenModal([&](QWidget*) {
      dialog->LocalRootDir->clear();
      dialog->Button1->click();  // name still "新規登録"
      dialog->Button2->click();
    });
    StartWindow(modules);
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{"サイト名称に「新規登録」は使えません。"});
  }

  void deletingASiteNeedsNoRootFolder() {
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"));
    fx.AddSite("B", fx.dir.Sub("b"));
    TApplicationModules modules;
    StartWindow(modules);
    TfrmSightEdit* dialog = modules.SightEdit();
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    WhenModal([&](QWidget*) {
      dialog->edName->clear();
      dialog->LocalRootDir->clear();
      dialog->Button1->click();
    });
    modules.Form1()->Button3->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{"サイト名称「A」を削除します。"});
    QVERIFY(!FileExists(ProfileFileName("A")));
  }

  void titlesAreExactlyTheCaptions() {
    AppFolderFixture fx;
    fx.AddSite("A", fx.dir.Sub("a"));
    TApplicationModules modules;
    StartWindow(modules);
    // A display name would be appended to every title by the window system.
    QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
    QCOMPARE(modules.Form1()->windowTitle(), QStr("☆ホームページアップローダ      Tovra"));
    QCOMPARE(modules.SightEdit()->windowTitle(), QStr("ウェブサイト情報"));
  }
};

QTEST_MAIN(SiteDialogTest)
#include "site_dialog_test.moc"
