// The main window around a run and after failures, on the offscreen
// platform with the scripted FTP server: closing during a run, a run's error
// on one line, a start-up that fails, and a click outside the site root.
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QtTest/QtTest>
#include <filesystem>
#include <memory>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "app/message_boxes.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "app/upload_progress.h"
#include "ftp/dmFtp.h"
#include "gui_test_support.h"
#include "platform/files.h"
#include "sites/site_list.h"
#include "support/fake_ftp_server.h"
#include "update/update_check.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::MemoLines;
using tovra::test::StartWindow;

namespace {

// A site of `pages` pages served by the scripted server.
struct ServedSite : AppFolderFixture {
  test::FakeFtpServer server;
  std::string root = dir.Sub("site");
  explicit ServedSite(int pages) {
    for (int i = 0; i < pages; ++i) dir.Write("site/p" + std::to_string(100 + i) + ".htm", "<p>x</p>");
    AddSite("S", root, server.Port());
  }
};

void SelectAllPages(TForm1* form, size_t pages) {
  QTRY_COMPARE(form->JamShellList1->ShownNames().size(), pages);
  form->JamShellList1->selectAll();
}

// The message box texts shown so far: each call adds what came since.
struct ShownBoxes {
  std::vector<std::string> texts;
  size_t Count() {
    for (auto& text : TMessageBoxes::TakeShown()) texts.push_back(text);
    return texts.size();
  }
};

QModelIndex TreeIndex(TShellFolderTree* tree, const std::string& folder) {
  auto* model = qobject_cast<QFileSystemModel*>(tree->model());
  return model->index(QString::fromStdString(folder));
}

}  // namespace

class WindowRunTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { TMessageBoxes::TakeShown(); }

  void closingDuringARunAbortsItAndWritesTheFiles() {
    ServedSite site(40);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SelectAllPages(form, 40);
    QSignalSpy finished(form, &TForm1::RunFinished);
    QElapsedTimer sinceClose;
    bool closedDuringRun = false;
    bool keptOnNo = false;
    test::OnEnabled(form->btnAbort, [&] {
      if (sinceClose.isValid() || !form->btnAbort->isEnabled()) return;
      // Asked first: "no" keeps the window and the run going.
      TMessageBoxes::SetNextAnswer(TMessageBoxes::Cancel);
      form->close();
      keptOnNo = form->isVisible() && modules.Ftp().CancelRequested.load() == 0;
      sinceClose.start();
      TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
      form->close();
      closedDuringRun = form->isVisible();  // the window waits for the run's end
    });
    form->BitBtn1->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 30000);
    qInfo("window closed %lld ms after the close request", static_cast<long long>(sinceClose.elapsed()));
    QVERIFY(keptOnNo);
    QVERIFY(closedDuringRun);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Aborted));
    QVERIFY(MemoLines(form).contains(QStr("転送中断")));
    int stored = 0;
    for (int i = 0; i < 40; ++i) stored += site.server.WasStored("p" + std::to_string(100 + i) + ".htm");
    QVERIFY2(stored < 40, qPrintable(QString::number(stored)));
    QCOMPARE(TMessageBoxes::TakeShown(), std::vector<std::string>(2, "転送中です。中止して終了しますか？"));
    QVERIFY(FileExists(ManagedFileListPath()));
    modules.DestroyWindow();
    QCOMPARE(ReadFileBytes(SiteListFileName()), std::string("S\r\n新規登録\r\n"));
  }

  // The connection's own text stays as it is, after a Japanese sentence
  // saying what happened and what to check.
  void aRunErrorIsOneLine_data() {
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("errorStart");
    QTest::addColumn<int>("connections");  // 0: the profile has no extended settings
    QTest::newRow("reply error") << true << "STOR"
                                 << "550 Permission denied.\r\n"
                                 << QStr("サーバーが要求を受け付けませんでした。 Permission denied.") << 0;
    QTest::newRow("login refused")
        << true << "PASS"
        << "530 Authentication failed.\r\n"
        << QStr(
               "サーバーにログインできませんでした。ユーザ名とパスワードを確かめてください。 "
               "Authentication failed.")
        << 0;
    QTest::newRow("socket error") << false << "STOR"
                                  << ""
                                  << QStr(
                                         "サーバーに接続できませんでした。サーバーが動いているか、ポート番号が正しいか"
                                         "を確かめてください。 Socket Error # 10061 Connection refused.")
                                  << 0;
    QTest::newRow("socket error, two connections")
        << false << "STOR"
        << ""
        << QStr(
               "サーバーに接続できませんでした。サーバーが動いているか、ポート番号が正しいかを確かめてください。 "
               "Socket Error # 10061 Connection refused.")
        << 2;
  }

  void aRunErrorIsOneLine() {
    QFETCH(bool, serverUp);
    QFETCH(QString, command);
    QFETCH(QString, reply);
    QFETCH(QString, errorStart);
    QFETCH(int, connections);
    ServedSite site(1);
    if (!reply.isEmpty()) site.server.Reply(command.toStdString(), reply.toStdString());  // its text ends in CR LF
    int port = site.server.Port();
    if (!serverUp) port = test::FakeFtpServer().Port();  // a port that was listening and is closed now
    TExtendedSettings extended;
    if (connections > 0) {
      extended.Set("Connections", std::to_string(connections));
      extended.Set("ReuseConnection", "1");
    }
    site.AddSite("S", site.root, port, "", extended);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SelectAllPages(form, 1);
    QSignalSpy finished(form, &TForm1::RunFinished);
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    form->BitBtn1->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Failed));
    QStringList lines = MemoLines(form);
    QCOMPARE(lines.last(), QStr("転送エラー: ") + errorStart);
    QVERIFY2(!lines.contains(QString()), qPrintable(lines.join('|')));
    auto shown = TMessageBoxes::TakeShown();
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(QStr(shown[0]), errorStart);
    QVERIFY(form->UploadProgress->Bar()->isHidden());  // no share left standing
  }

  void aNewRunStartsWithAnEmptyProgress() {
    ServedSite site(2);
    site.dir.Write("site/p100.htm", "<img src=\"none.gif\">");
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    SelectAllPages(form, 2);
    QSignalSpy finished(form, &TForm1::RunFinished);
    test::ClickInModal("btnContinue");  // the missing image: skipped
    form->BitBtn1->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QVERIFY(!form->UploadProgress->Label()->text().isEmpty());
    QString labelAtStart = "unset";
    int barAtStart = -1;
    test::OnEnabled(form->BitBtn1, [&] {
      if (form->BitBtn1->isEnabled() || barAtStart >= 0) return;
      labelAtStart = form->UploadProgress->Label()->text();
      barAtStart = form->UploadProgress->Bar()->value();
    });
    // Esc in the missing-files dialog stops the upload and says so.
    test::WhenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    form->BitBtn1->click();
    QCOMPARE(labelAtStart, QString());
    QCOMPARE(barAtStart, 0);
    QCOMPARE(MemoLines(form).last(), QStr("アップロードを中止しました。"));
    QCOMPARE(finished.count(), 1);
  }

  void aStartUpErrorLeavesTheWindowIdle() {
    ServedSite site(0);
    site.dir.Write("other/index.html", "<p>i</p>");
    site.dir.Write("app/ファイルマスク.txt", "*.htm*\r\n*.*\r\n");
    site.AddSite("T", site.dir.Sub("other"), site.server.Port());
    std::filesystem::remove_all(site.root);  // the first site's root is gone
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    ShownBoxes shown;
    QTRY_COMPARE(shown.Count(), size_t(1));
    QVERIFY2(shown.texts[0].rfind("パス設定エラー", 0) == 0, shown.texts[0].c_str());
    QVERIFY(form->Panel8->isHidden());
    QVERIFY(!form->UpdatePanelVisible());
    QVERIFY(!form->Splitter1->isHidden());
    QVERIFY(form->BitBtn1->isEnabled());
    QVERIFY(!form->btnAbort->isEnabled());
    QCOMPARE(form->ComboBox2->count(), 2);  // the rest of the start-up ran
    // The other site uploads what is selected in its file list.
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox1Select();
    SelectAllPages(form, 1);
    QSignalSpy finished(form, &TForm1::RunFinished);
    form->BitBtn1->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Completed));
    QCOMPARE(site.server.Stored("index.html"), std::string("<p>i</p>"));
  }

  void clickOutsideTheRootLeavesTheRootSelected() {
    AppFolderFixture fx;
    std::string root = fx.dir.Sub("site");
    std::string other = fx.dir.Sub("other");
    fx.dir.Write("site/a.html", "");
    fx.dir.Write("other/sub/b.html", "");
    fx.AddSite("サイトA", root);
    TApplicationModules modules;
    StartWindow(modules);
    TShellFolderTree* tree = modules.Form1()->JamShellTree1;
    QModelIndex otherIndex = TreeIndex(tree, other);
    QTRY_VERIFY(tree->viewport()->rect().contains(tree->visualRect(otherIndex).center()));
    TMessageBoxes::SetNextAnswer(TMessageBoxes::Ok);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(otherIndex).center());
    ShownBoxes shown;
    QTRY_COMPARE(shown.Count(), size_t(1));
    QCOMPARE(shown.texts[0], std::string("サイトAはそのフォルダーを参照できません"));
    QCOMPARE(tree->SelectedFolder(), root);
    QCOMPARE(tree->selectionModel()->selectedRows(), QModelIndexList{TreeIndex(tree, root)});
    QCOMPARE(modules.Form1()->JamShellList1->Folder(), root);
    // The tree stays where it is while the clicked folder's contents load.
    const int position = tree->verticalScrollBar()->value();
    QTest::qWait(1500);
    QCOMPARE(tree->verticalScrollBar()->value(), position);
    QCOMPARE(tree->selectionModel()->selectedRows(), QModelIndexList{TreeIndex(tree, root)});
  }
};

QTEST_MAIN(WindowRunTest)
#include "window_run_test.moc"
