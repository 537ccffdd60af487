// The update panel of the main window on the offscreen platform: a check
// over two sites, the panel site by site, uploading the ticked rows to a
// real FTP server, Cancel, the "nothing changed" message, and saving the
// managed file list when the application loses the focus.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QtTest/QtTest>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/app_modules.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "ftp/dmFtp.h"
#include "gui_test_support.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "support/pyftpd_server.h"
#include "update/update_check.h"

using namespace tovra;
using tovra::test::AppFolderFixture;

namespace {

constexpr std::time_t kSaved = 1600000000;   // every page's time when the list is saved
constexpr std::time_t kEdited = kSaved + 3600;  // an edit an hour later

const char* const kNothingFound = "更新されたファイルは検出されませんでした。";

void SetWriteTime(const std::string& path, std::time_t written) {
  timeval tv[2] = {{written, 0}, {written, 0}};
  QVERIFY2(::utimes(ToOsPath(path).c_str(), tv) == 0, path.c_str());
}

// Two sites with three files each, every file written at kSaved.
struct TwoSites : AppFolderFixture {
  std::string rootA = dir.Sub("siteA");
  std::string rootB = dir.Sub("siteB");
  TwoSites(int portA = 21, int portB = 21) {
    for (const char* f : {"siteA/index.html", "siteA/news.html", "siteA/sub/page.htm", "siteB/top.htm",
                          "siteB/movie.swf", "siteB/style.css"}) {
      SetWriteTime(dir.Write(f, std::string("<p>") + f + "</p>"), kSaved);
    }
    AddSite("サイトA", rootA, portA);
    AddSite("サイトB", rootB, portB);
  }
  std::string A(const char* name) const { return JoinPath(rootA, name); }
  std::string B(const char* name) const { return JoinPath(rootB, name); }
};

void StartWindow(TApplicationModules& modules) {
  modules.Form1()->show();
  QTRY_VERIFY(modules.Form1()->ComboBox3->isHidden());  // FormShow has run
}

// The managed file list as closing the window writes it, made by the window's
// own check object.
void SaveBaseline(TForm1* form) {
  QVERIFY(form->UpdateCheck().ScanSites());
  form->UpdateCheck().SaveManagedFileList();
  QVERIFY(FileExists(ManagedFileListPath()));
}

std::vector<std::string> Rows(TForm1* form) {
  std::vector<std::string> rows;
  for (int i = 0; i < form->CheckListBox1->count(); ++i) rows.push_back(ToCp932(form->CheckListBox1->item(i)->text()));
  return rows;
}

std::vector<std::string> CheckedRows(TForm1* form) {
  std::vector<std::string> rows;
  for (int i = 0; i < form->CheckListBox1->count(); ++i)
    if (form->CheckListBox1->item(i)->checkState() == Qt::Checked) rows.push_back(ToCp932(form->CheckListBox1->item(i)->text()));
  return rows;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

void Tick(TForm1* form, const std::string& path, Qt::CheckState state = Qt::Checked) {
  for (int i = 0; i < form->CheckListBox1->count(); ++i) {
    QListWidgetItem* item = form->CheckListBox1->item(i);
    if (ToCp932(item->text()) == path) {
      item->setCheckState(state);
      return;
    }
  }
  QFAIL(("no row " + path).c_str());
}

// The panel shows `site`'s files: the tree, list and splitter hidden, the
// four controls disabled, every row unticked.
void ExpectPanelFor(TForm1* form, const std::string& site, const std::vector<std::string>& files) {
  QVERIFY(form->Panel8->isVisible());
  QCOMPARE(ToCp932(form->Panel9->text()), "「" + site + "」に更新ファイルを検出しました。");
  QCOMPARE(Sorted(Rows(form)), Sorted(files));
  for (int i = 0; i < form->CheckListBox1->count(); ++i)
    QCOMPARE(form->CheckListBox1->item(i)->checkState(), Qt::Unchecked);
  for (QWidget* w : std::initializer_list<QWidget*>{form->JamShellTree1, form->JamShellList1, form->Splitter1})
    QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
  for (QWidget* w : std::initializer_list<QWidget*>{form->ComboBox1, form->Button3, form->ComboBox2, form->btnWebCheck})
    QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
  QCOMPARE(ToCp932(form->ComboBox1->currentText()), site);  // the window switched to that site
}

// Back to the normal view: all four controls enabled, the web check
// regardless of the file list's selection.
void ExpectNormalView(TForm1* form) {
  QVERIFY(form->Panel8->isHidden());
  for (QWidget* w : std::initializer_list<QWidget*>{form->JamShellTree1, form->JamShellList1, form->Splitter1})
    QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
  for (QWidget* w : std::initializer_list<QWidget*>{form->ComboBox1, form->Button3, form->ComboBox2, form->btnWebCheck})
    QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
}

// Presses the upload button and waits for the run to end.
void UploadTicked(TForm1* form) {
  QSignalSpy finished(form, &TForm1::RunFinished);
  form->BitBtn1->click();
  QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
  QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Completed));
  QVERIFY(form->BitBtn1->isEnabled());
}

}  // namespace

class UpdatePanelTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void ticksUploadSiteBySite() {
    test::TempDir remotes;
    remotes.Write("a/.keep", "");
    remotes.Write("b/.keep", "");
    test::PyFtpdServer serverA(remotes.Sub("a"));
    test::PyFtpdServer serverB(remotes.Sub("b"));
    TwoSites fx(serverA.Port(), serverB.Port());
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SaveBaseline(form);

    SetWriteTime(fx.A("index.html"), kEdited);
    SetWriteTime(fx.A("sub/page.htm"), kEdited);
    SetWriteTime(fx.dir.Write("siteB/new.html", "<p>new</p>"), kSaved);  // new, though not newer
    SetWriteTime(fx.B("style.css"), kEdited);                            // no page: never listed

    form->btnUpdateCheck->click();
    ExpectPanelFor(form, "サイトA", {fx.A("index.html"), fx.A("sub/page.htm")});
    QCOMPARE(modules.Ftp().HostInfo.Port, serverA.Port());
    QVERIFY(TMessageBoxes::TakeShown().empty());

    Tick(form, fx.A("sub/page.htm"));
    UploadTicked(form);
    QCOMPARE(ReadFileBytes(JoinPath(remotes.Sub("a"), "sub/page.htm")), std::string("<p>siteA/sub/page.htm</p>"));
    QVERIFY(!FileExists(JoinPath(remotes.Sub("a"), "index.html")));  // not ticked

    // After the run the next site's files show, on that site's server.
    ExpectPanelFor(form, "サイトB", {fx.B("new.html")});
    QCOMPARE(modules.Ftp().HostInfo.Port, serverB.Port());
    Tick(form, fx.B("new.html"));
    UploadTicked(form);
    QCOMPARE(ReadFileBytes(JoinPath(remotes.Sub("b"), "new.html")), std::string("<p>new</p>"));
    QVERIFY(!FileExists(JoinPath(remotes.Sub("a"), "new.html")));

    // After the last site everything is back.
    ExpectNormalView(form);
    QStringList memo = form->Memo1->toPlainText().split('\n');
    QCOMPARE(memo.count(QStr("転送完了")), 2);
    QVERIFY(memo.contains(QStr("page.htm 転送中")));
    QVERIFY(memo.contains(QStr("new.html 転送中")));
    QVERIFY(!memo.contains(QStr("index.html 転送中")));
  }

  void siteControlsAreLockedWhileAnUploadRuns() {
    test::TempDir remotes;
    remotes.Write("a/.keep", "");
    test::PyFtpdServer server(remotes.Sub("a"));
    TwoSites fx(server.Port(), server.Port());
    SetWriteTime(fx.dir.Write("siteA/gone.html", "<img src=\"missing.gif\">"), kSaved);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SaveBaseline(form);
    SetWriteTime(fx.A("news.html"), kEdited);
    SetWriteTime(fx.A("gone.html"), kEdited);
    SetWriteTime(fx.B("top.htm"), kEdited);
    form->btnUpdateCheck->click();
    ExpectPanelFor(form, "サイトA", {fx.A("news.html"), fx.A("gone.html")});

    // A preparation the user stops keeps the panel as it was.
    Tick(form, fx.A("gone.html"));
    test::ClickInModal("btnAbort");
    form->BitBtn1->click();
    QVERIFY(form->BitBtn1->isEnabled());
    QVERIFY(form->Panel8->isVisible());
    QCOMPARE(CheckedRows(form), std::vector<std::string>{fx.A("gone.html")});
    QVERIFY(!form->ComboBox1->isEnabled());
    QVERIFY(form->btUpdateCancel->isEnabled());
    QVERIFY(form->btnUpdateCheck->isEnabled());

    // While the run sends the files nothing switches the site under it: a
    // Cancel would show the next site and the end of the run skip it.
    Tick(form, fx.A("gone.html"), Qt::Unchecked);
    Tick(form, fx.A("news.html"));
    QSignalSpy finished(form, &TForm1::RunFinished);
    form->BitBtn1->click();
    for (QWidget* w : std::initializer_list<QWidget*>{form->btUpdateCancel, form->btnUpdateCheck, form->ComboBox1,
                                                      form->Button3})
      QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    form->btUpdateCancel->click();
    form->btnUpdateCheck->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    ExpectPanelFor(form, "サイトB", {fx.B("top.htm")});
    QVERIFY(form->btUpdateCancel->isEnabled());
    QVERIFY(form->btnUpdateCheck->isEnabled());
    QVERIFY(FileExists(JoinPath(remotes.Sub("a"), "news.html")));
    form->btUpdateCancel->click();
    ExpectNormalView(form);

    // Outside the panel too: the site selector and the edit button wait for the run.
    QCOMPARE(form->JamShellTree1->SelectedFolder(), fx.rootB);  // the panel showed B last
    QTRY_COMPARE(form->JamShellList1->ShownNames(), std::vector<std::string>{"top.htm"});
    form->JamShellList1->SelectNames({"top.htm"});
    form->BitBtn1->click();
    QVERIFY(!form->ComboBox1->isEnabled());
    QVERIFY(!form->Button3->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
    for (QWidget* w : std::initializer_list<QWidget*>{form->btUpdateCancel, form->btnUpdateCheck, form->ComboBox1,
                                                      form->Button3})
      QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
  }

  void uploadWithNothingTickedMovesOn() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SaveBaseline(form);
    SetWriteTime(fx.A("news.html"), kEdited);
    SetWriteTime(fx.B("movie.swf"), kEdited);
    form->btnUpdateCheck->click();
    ExpectPanelFor(form, "サイトA", {fx.A("news.html")});
    form->BitBtn1->click();  // an empty preparation: nothing to send
    ExpectPanelFor(form, "サイトB", {fx.B("movie.swf")});
    QVERIFY(form->BitBtn1->isEnabled());
  }

  void cancelMovesToTheNextSiteAndEndsInTheNormalView() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SaveBaseline(form);
    SetWriteTime(fx.A("news.html"), kEdited);
    SetWriteTime(fx.B("top.htm"), kEdited);
    SetWriteTime(fx.B("movie.swf"), kEdited);
    std::string memoBefore = ToCp932(form->Memo1->toPlainText());

    form->btnUpdateCheck->click();
    ExpectPanelFor(form, "サイトA", {fx.A("news.html")});
    form->btnUpdateCheck->click();  // again while the panel shows: no file comes twice
    ExpectPanelFor(form, "サイトA", {fx.A("news.html")});
    Tick(form, fx.A("news.html"));  // ticked, then cancelled: nothing is sent
    form->btUpdateCancel->click();
    ExpectPanelFor(form, "サイトB", {fx.B("top.htm"), fx.B("movie.swf")});
    form->btUpdateCancel->click();
    ExpectNormalView(form);
    QCOMPARE(ToCp932(form->Memo1->toPlainText()), memoBefore);
    QVERIFY(form->UpdateCheck().PendingUpdates().Empty());

    // Cancelled files are still newer than the saved list: a new check finds
    // them again, once each.
    form->btnUpdateCheck->click();
    ExpectPanelFor(form, "サイトA", {fx.A("news.html")});
  }

  void onlyTheSecondSiteChanged() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SaveBaseline(form);
    SetWriteTime(fx.A("index.html"), kSaved - 3600);  // a time going back is no change
    SetWriteTime(fx.B("top.htm"), kEdited);
    form->btnUpdateCheck->click();
    ExpectPanelFor(form, "サイトB", {fx.B("top.htm")});
    form->btUpdateCancel->click();
    ExpectNormalView(form);
    // The selector shows the site the panel showed last.
    QCOMPARE(ToCp932(form->ComboBox1->currentText()), std::string("サイトB"));
    QCOMPARE(form->CurrentSiteRoot, fx.rootB);
  }

  void nothingChangedShowsTheMessage_data() {
    QTest::addColumn<bool>("withBaseline");
    QTest::newRow("saved list, no edits") << true;
    QTest::newRow("first start, no saved list") << false;
  }
  void nothingChangedShowsTheMessage() {
    QFETCH(bool, withBaseline);
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    if (withBaseline) {
      SaveBaseline(form);
      SetWriteTime(fx.A("index.html"), kSaved + 1);  // inside the same two-second step
      QVERIFY(DeleteFile(fx.A("news.html")));         // a deleted file is not reported
    } else {
      SetWriteTime(fx.dir.Write("siteA/later.html", ""), kEdited);  // nothing to compare with yet
    }
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnUpdateCheck->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{kNothingFound});
    QVERIFY(form->Panel8->isHidden());
    QVERIFY(form->JamShellTree1->isVisible());
    QVERIFY(form->ComboBox1->isEnabled());
    QVERIFY(!form->btnWebCheck->isEnabled());  // the panel never opened: still per selection
    QCOMPARE(ToCp932(form->ComboBox1->currentText()), std::string("サイトA"));
    QCOMPARE(FileExists(ManagedFileListPath()), withBaseline);  // a check does not write the list
  }

  void aSiteWhoseRootIsGoneStopsTheCheckWithItsMessage() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SaveBaseline(form);
    std::string saved = ReadFileBytes(ManagedFileListPath());
    SetWriteTime(fx.A("news.html"), kEdited);
    for (const char* f : {"top.htm", "movie.swf", "style.css"}) QVERIFY(DeleteFile(fx.B(f)));
    QVERIFY(::rmdir(ToOsPath(fx.rootB).c_str()) == 0);
    const std::string error = "パス設定エラー : \"" + fx.rootB + "\"";

    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnUpdateCheck->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{error});
    QVERIFY(form->Panel8->isHidden());
    // The window still holds the site it showed, and keeps working.
    QCOMPARE(ToCp932(form->ComboBox1->currentText()), std::string("サイトA"));
    QCOMPARE(modules.SightEdit()->Profile().CurrentSiteName(), std::string("サイトA"));
    QCOMPARE(modules.SightEdit()->Profile().LocalRootDir, fx.rootA);
    QVERIFY(form->btnUpdateCheck->isEnabled());

    // Losing the focus shows the same error and leaves the saved list alone.
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{error});
    QCOMPARE(ReadFileBytes(ManagedFileListPath()), saved);
  }

  void onlyTheNewEntryShowsTheMessage() {
    AppFolderFixture fx;
    test::WhenModal([](QWidget* modal) { modal->findChild<QPushButton*>("Button2")->click(); });
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnUpdateCheck->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{kNothingFound});
    QVERIFY(form->Panel8->isHidden());
  }

  void deactivationSavesTheListUnlessThePanelOrDialogShows() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    const std::string list = ManagedFileListPath();

    // The site dialog showing: nothing is written.
    bool deactivatedInDialog = false;
    test::WhenModal([&](QWidget* modal) {
      form->ApplicationEvents1Deactivate();
      deactivatedInDialog = true;
      modal->findChild<QPushButton*>("Button2")->click();
    });
    form->Button3->click();
    QVERIFY(deactivatedInDialog);
    QVERIFY(!FileExists(list));

    // The application losing the focus writes the list.
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QVERIFY(FileExists(list));
    std::string saved = ReadFileBytes(list);
    QVERIFY(saved.starts_with("サイトA?$B?0\r\n"));
    QVERIFY(saved.find("\r\nサイトB?$B?0\r\n") != std::string::npos);
    QVERIFY(saved.find(fx.A("news.html") + "?$B?") != std::string::npos);

    // With the panel showing, the saved list stays the baseline.
    SetWriteTime(fx.A("news.html"), kEdited);
    form->btnUpdateCheck->click();
    ExpectPanelFor(form, "サイトA", {fx.A("news.html")});
    form->ApplicationEvents1Deactivate();
    QCOMPARE(ReadFileBytes(list), saved);
    form->btUpdateCancel->click();

    // Back in the normal view the next deactivation records the new time.
    form->ApplicationEvents1Deactivate();
    QVERIFY(ReadFileBytes(list) != saved);
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->btnUpdateCheck->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{kNothingFound});
  }

  void closingSavesTheListEvenWithThePanelShowing() {
    TwoSites fx;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SaveBaseline(form);
    SetWriteTime(fx.A("news.html"), kEdited);
    form->btnUpdateCheck->click();
    QVERIFY(form->Panel8->isVisible());
    form->close();
    modules.DestroyWindow();
    // The pending file is recorded with its new time: not reported next time.
    TApplicationModules again;
    StartWindow(again);
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    again.Form1()->btnUpdateCheck->click();
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>{kNothingFound});
  }
};

QTEST_MAIN(UpdatePanelTest)
#include "update_panel_test.moc"
