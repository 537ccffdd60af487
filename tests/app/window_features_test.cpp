// The small tools of the main window through its handlers on the offscreen
// platform: the web check's URLs, the launch programs (their selector stays
// hidden, the button's handler works on its text), and the placement of the
// main window and the site dialog kept in the settings file between starts.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QtTest>
#include <algorithm>

#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/app_modules.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "gui_test_support.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/IniGT.h"
#include "support/pyftpd_server.h"
#include "update/update_check.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::StartWindow;
using tovra::test::WhenModal;

namespace {

// Shows `folder` in the tree and selects `names` in the file list once the
// list has read the folder.
void SelectFiles(TForm1* form, const std::string& folder, const std::vector<std::string>& names) {
  form->JamShellTree1->SetSelectedFolder(folder);
  QCOMPARE(form->JamShellTree1->SelectedFolder(), folder);
  auto shown = [form](const std::string& name) {
    std::vector<std::string> names = form->JamShellList1->ShownNames();
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  for (const auto& name : names) QTRY_VERIFY2(shown(name), name.c_str());
  form->JamShellList1->SelectNames(names);
  QCOMPARE(form->JamShellList1->SelectedNames(), names);
}

void SelectSite(TForm1* form, const std::string& site) {
  int index = form->ComboBox1->findText(QStr(site), Qt::MatchExactly);
  QVERIFY(index >= 0);
  form->ComboBox1->setCurrentIndex(index);
  form->ComboBox1Select();
}

// The placement keys of the default settings file, as the program stores them.
std::vector<int> StoredPlacement(const std::string& prefix) {
  TIniGT ini;
  ini.Loaded();
  std::vector<int> values;
  for (const char* key : {".Show", ".X", ".Y", ".XSize", ".YSize"})
    values.push_back(ini.ReadNumber("window", prefix + key, -9999));
  return values;
}

std::vector<int> Normal(int show, const QRect& r) {
  return {show, r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

class WindowFeaturesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void webCheckOpensThePublicUrl() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/blog/index.html", "");
    fx.dir.Write("site/blog/日記.html", "");
    fx.dir.Write("site/top.htm", "");
    fx.AddSite("末尾スラッシュ", root, 21, "http://example.jp/~user/");
    fx.AddSite("スラッシュなし", root, 21, "http://example.jp/~user");
    fx.AddSite("URLなし", root, 21, "");
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    std::vector<std::string> opened;
    form->UrlOpener = [&](const std::string& url) { opened.push_back(url); };

    struct Case {
      std::string site, folder, name, url;
    } cases[] = {
        {"末尾スラッシュ", "blog", "index.html", "http://example.jp/~user/blog/index.html"},
        {"スラッシュなし", "blog", "index.html", "http://example.jp/~user/blog/index.html"},
        {"スラッシュなし", "", "top.htm", "http://example.jp/~user/top.htm"},
        {"URLなし", "blog", "index.html", "/blog/index.html"},
        {"末尾スラッシュ", "blog", "日記.html", "http://example.jp/~user/blog/日記.html"},  // no percent-encoding
    };
    for (const auto& c : cases) {
      SelectSite(form, c.site);
      SelectFiles(form, c.folder.empty() ? root : JoinPath(root, c.folder), {c.name});
      QVERIFY(form->btnWebCheck->isEnabled());
      opened.clear();
      form->btnWebCheck->click();
      QCOMPARE(opened, std::vector<std::string>{c.url});
    }
    QVERIFY(TMessageBoxes::TakeShown().empty());

    // Called with a wrong selection count it warns and opens nothing.
    opened.clear();
    SelectFiles(form, root + "/blog", {"index.html", "日記.html"});
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnWebCheckClick();
    form->JamShellList1->clearSelection();
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnWebCheckClick();
    QCOMPARE(TMessageBoxes::TakeShown(),
             (std::vector<std::string>{"ファイルをひとつだけ選択してください。", "ファイルを選択してください。"}));
    QVERIFY(opened.empty());
  }

  void rootSavedWithATrailingSeparatorIsNormalised() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/blog/index.html", "");
    fx.AddSite("S", root + "/", 21, "http://example.jp/~user");
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);  // would a refusal come, it does not block
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QVERIFY(TMessageBoxes::TakeShown().empty());  // the root itself is not refused
    TMessageBoxes::ConfirmOkCancel(nullptr, "");  // takes back the answer no box used
    TMessageBoxes::TakeShown();
    QCOMPARE(form->CurrentSiteRoot, root);
    QCOMPARE(modules.SightEdit()->Profile().LocalRootDir, root);
    std::vector<std::string> opened;
    form->UrlOpener = [&](const std::string& url) { opened.push_back(url); };
    SelectFiles(form, root + "/blog", {"index.html"});
    form->btnWebCheck->click();
    QCOMPARE(opened, std::vector<std::string>{"http://example.jp/~user/blog/index.html"});
  }

  void launchProgramsThroughTheHiddenSelector() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    for (const char* f : {"site/a.htm", "site/b.htm", "site/sub/c.html"}) fx.dir.Write(f, "");
    fx.AddSite("S", root);
    fx.dir.Write("app/起動プログラム選択.txt",
                 "\"OnlyTitle\"\r\n"
                 "\"Ed\" \"/usr/bin/ed\" \"-f\"\r\n"
                 "Viewer \"View\" x \"/usr/bin/view\"\r\n"
                 "\"Mix\" \"/opt/mix tool\" \"-d\" \"-F\" \"-d:\" \"-f\" \"--x\"\r\n");
    TApplicationModules modules;
    TForm1* form = modules.Form1();
    std::vector<std::string> started;
    form->ProcessStarter = [&](const std::string& line) {
      started.push_back(line);
      return 0;  // could not start: nothing is reported
    };
    StartWindow(modules);
    QVERIFY(form->ComboBox3->isHidden());
    QVERIFY(form->btnSubPGM->isHidden());
    QStringList items;
    for (int i = 0; i < form->ComboBox3->count(); ++i) items << form->ComboBox3->itemText(i);
    QCOMPARE(items, (QStringList{QStr("起動プログラム選択"), "Ed", "View", "Mix"}));

    auto launch = [&](const char* title) {
      form->ComboBox3->setCurrentIndex(form->ComboBox3->findText(QStr(title)));
      started.clear();
      form->btnSubPGM->click();
      return started;
    };
    using Lines = std::vector<std::string>;
    QCOMPARE(launch("起動プログラム選択"), Lines{});
    QCOMPARE(launch("Ed"), Lines{"\"/usr/bin/ed\" \"-f\" "});  // nothing selected
    SelectFiles(form, root, {"a.htm", "b.htm"});
    QCOMPARE(launch("Ed"), Lines{"\"/usr/bin/ed\" \"" + root + "/b.htm\" \"" + root + "/a.htm\" "});
    QCOMPARE(launch("View"), Lines{"\"/usr/bin/view\" "});
    SelectFiles(form, root + "/sub", {"c.html"});
    QCOMPARE(launch("Mix"),
             Lines{"\"/opt/mix tool\" \"" + root + "/sub\" \"-F\" \"-d:\" \"" + root + "/sub/c.html\" \"--x\" "});
    // The placeholders came back after each launch: a new selection is used.
    SelectFiles(form, root, {"b.htm"});
    QCOMPARE(launch("Ed"), Lines{"\"/usr/bin/ed\" \"" + root + "/b.htm\" "});
    QVERIFY(TMessageBoxes::TakeShown().empty());
  }

  void launchProgramsOnTheUpdatePanelsRow() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    fx.dir.Write("site/a.htm", "");
    fx.dir.Write("site/sub/c.html", "");
    fx.AddSite("S", root);
    fx.dir.Write("app/起動プログラム選択.txt", "\"Mix\" \"/opt/mix\" \"-d\" \"-f\"\r\n");
    TApplicationModules modules;
    TForm1* form = modules.Form1();
    std::vector<std::string> started;
    form->ProcessStarter = [&](const std::string& line) {
      started.push_back(line);
      return 1;
    };
    StartWindow(modules);
    form->ComboBox3->setCurrentIndex(1);
    // A check without a saved list finds nothing; with one, the new page.
    form->UpdateCheck().ScanSites();
    form->UpdateCheck().SaveManagedFileList();
    fx.dir.Write("site/sub/new.html", "");
    form->btnUpdateCheck->click();
    QVERIFY(form->Panel8->isVisible());
    QCOMPARE(form->CheckListBox1->count(), 1);

    // No current row: the placeholder can't be filled, nothing starts.
    form->CheckListBox1->setCurrentRow(-1);
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnSubPGM->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{"リストのインデックスが範囲を超えています (-1)"});
    QVERIFY(started.empty());

    // The current row, not the tree and list, fills both placeholders.
    SelectFiles(form, root, {"a.htm"});
    form->CheckListBox1->setCurrentRow(0);
    form->btnSubPGM->click();
    QCOMPARE(started, std::vector<std::string>{"\"/opt/mix\" \"" + root + "/sub\" \"" + root + "/sub/new.html\" "});
  }

  void siteSwitchedBeforeTheTickUploadsWhatWasPrepared() {
    AppFolderFixture fx;
    std::string remote = fx.dir.Sub("remote");
    fx.dir.Write("remote/.keep", "");
    fx.dir.Write("siteA/sub/page.htm", "<p>A</p>");
    fx.dir.Write("siteB/other.htm", "<p>B</p>");
    test::PyFtpdServer server(remote);
    fx.AddSite("A", fx.dir.Sub("siteA"), server.Port());
    fx.AddSite("B", fx.dir.Sub("siteB"), server.Port());
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SelectFiles(form, fx.dir.Sub("siteA/sub"), {"page.htm"});
    QSignalSpy finished(form, &TForm1::RunFinished);
    form->BitBtn1->click();
    SelectSite(form, "B");  // before the timer's tick hands the list to the run
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QVERIFY2(finished.at(0).at(0).toInt() == static_cast<int>(TRunOutcome::Completed),
             qPrintable(form->Memo1->toPlainText()));
    // The remote folder follows the root the list was prepared under.
    QVERIFY(FileExists(JoinPath(remote, "sub/page.htm")));
    QCOMPARE(ReadFileBytes(JoinPath(remote, "sub/page.htm")), std::string("<p>A</p>"));
  }

  void storedKeysDecideTheFirstGeometry_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<QRect>("normal");  // an empty rectangle: the design size, placed anywhere
    QTest::newRow("no keys") << "" << false << QRect();
    QTest::newRow("only Show=3") << "main.Show=3\r\n" << true << QRect();
    QTest::newRow("off every screen")
        << "main.Show=1\r\nmain.X=5000\r\nmain.Y=5000\r\nmain.XSize=5700\r\nmain.YSize=5400\r\n"
        << false << QRect();
    QTest::newRow("normal") << "main.Show=1\r\nmain.X=10\r\nmain.Y=20\r\nmain.XSize=610\r\nmain.YSize=420\r\n"
                            << false << QRect(10, 20, 600, 400);
  }
  void storedKeysDecideTheFirstGeometry() {
    QFETCH(QString, keys);
    QFETCH(bool, maximized);
    QFETCH(QRect, normal);
    AppFolderFixture fx;
    fx.AddSite("S", fx.dir.Sub("site"));
    TIniGT ini;
    ini.Loaded();
    if (!keys.isEmpty()) WriteFileAtomic(ini.ResolvedPath(), "[window]\r\n" + keys.toStdString());
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QCOMPARE(form->isMaximized(), maximized);
    if (maximized) form->showNormal();
    if (normal.isEmpty()) {
      QTRY_COMPARE(form->size(), QSize(781, 429));
      QVERIFY(form->x() < 800 && form->y() < 800);
    } else {
      QTRY_COMPARE(form->geometry(), normal);
    }
  }

  void mainWindowPlacementIsKeptBetweenStarts() {
    AppFolderFixture fx;
    fx.AddSite("S", fx.dir.Sub("site"));
    const QRect normal(120, 90, 700, 380);
    {
      TApplicationModules modules;
      StartWindow(modules);
      modules.Form1()->setGeometry(normal);
      QTRY_COMPARE(modules.Form1()->geometry(), normal);
      modules.Form1()->close();
      modules.DestroyWindow();  // FormDestroy
    }
    QCOMPARE(StoredPlacement("main"), Normal(1, normal));
    {
      TApplicationModules modules;
      QCOMPARE(modules.Form1()->geometry(), normal);  // restored in FormCreate, before showing
      StartWindow(modules);
      QCOMPARE(modules.Form1()->geometry(), normal);
      // Closed while maximized: comes back maximized, the normal rectangle kept.
      modules.Form1()->showMaximized();
      QTRY_VERIFY(modules.Form1()->isMaximized());
      modules.Form1()->close();
      modules.DestroyWindow();
    }
    QCOMPARE(StoredPlacement("main"), Normal(3, normal));
    {
      TApplicationModules modules;
      StartWindow(modules);
      QVERIFY(modules.Form1()->isMaximized());
      modules.Form1()->showNormal();
      QTRY_COMPARE(modules.Form1()->geometry(), normal);
    }
  }

  void siteDialogPlacementIsKept() {
    AppFolderFixture fx;
    fx.AddSite("S", fx.dir.Sub("site"));
    const QRect moved(60, 40, 900, 760);  // no smaller than the dialog allows, within 1024×768
    QRect seen;
    {
      TApplicationModules modules;
      StartWindow(modules);
      WhenModal([&](QWidget* dialog) {
        dialog->setGeometry(moved);
        modules.SightEdit()->Button2->click();  // Cancel closes it too
      });
      modules.Form1()->Button3->click();
      QCOMPARE(StoredPlacement("sightedit"), Normal(1, moved));
      QCOMPARE(StoredPlacement("main")[0], -9999);  // the window's own keys come on destroy
      WhenModal([&](QWidget* dialog) {
        seen = dialog->geometry();
        modules.SightEdit()->Button2->click();
      });
      modules.Form1()->Button3->click();
      QCOMPARE(seen, moved);
    }
    QCOMPARE(StoredPlacement("main")[0], 1);
    TApplicationModules modules;
    StartWindow(modules);
    seen = QRect();
    WhenModal([&](QWidget* dialog) {
      seen = dialog->geometry();
      modules.SightEdit()->Button2->click();
    });
    modules.Form1()->Button3->click();
    QCOMPARE(seen, moved);

    // Closed by the window frame: Cancel, the placement stored all the same.
    const QRect framed(30, 20, 880, 750);
    WhenModal([&](QWidget* dialog) {
      dialog->setGeometry(framed);
      dialog->close();
    });
    modules.Form1()->Button3->click();
    QCOMPARE(StoredPlacement("sightedit"), Normal(1, framed));
  }
};

QTEST_MAIN(WindowFeaturesTest)
#include "window_features_test.moc"
