// The window's progress bar and label under the status memo, and the abort
// button against a server that has stopped answering.
#include "app/upload_progress.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QtTest>
#include <algorithm>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "gui_test_support.h"
#include "support/fake_ftp_server.h"
#include "support/pyftpd_server.h"

using namespace tovra;
using tovra::test::AppFolderFixture;

namespace {

// Shows the site's folder and selects the files, then presses the upload button.
void UploadFiles(TApplicationModules& modules, const std::string& folder, const std::vector<std::string>& names) {
  TForm1* form = modules.Form1();
  form->show();
  QTRY_VERIFY(form->ComboBox3->isHidden());  // FormShow has run
  form->JamShellTree1->SetSelectedFolder(folder);
  auto shown = [form](const std::string& name) {
    std::vector<std::string> all = form->JamShellList1->ShownNames();
    return std::find(all.begin(), all.end(), name) != all.end();
  };
  for (const auto& name : names) QTRY_VERIFY(shown(name));
  form->JamShellList1->SelectNames(names);
  form->BitBtn1->click();
}

}  // namespace

class UploadProgressTest : public QObject {
  Q_OBJECT

 private slots:
  void barEndsFullAndTheLabelShowsTheSummary() {
    AppFolderFixture fx;
    fx.dir.Write("remote/.keep", "");
    fx.dir.Write("site/a.htm", "<p>a</p>");
    fx.dir.Write("site/b.htm", std::string(70000, 'b'));
    test::PyFtpdServer server(fx.dir.Sub("remote"));
    fx.AddSite("S", fx.dir.Sub("site"), server.Port());
    TApplicationModules modules;
    QSignalSpy finished(modules.Form1(), &TForm1::RunFinished);
    UploadFiles(modules, fx.dir.Sub("site"), {"a.htm", "b.htm"});
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    TUploadProgress* progress = modules.Form1()->UploadProgress;
    QCOMPARE(progress->Bar()->value(), progress->Bar()->maximum());
    QCOMPARE(ToCp932(progress->Label()->text()),
             std::string("送信 2 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 0 件"));
  }

  void abortActsAtOnceAgainstASilentServer() {
    AppFolderFixture fx;
    fx.dir.Write("site/a.htm", "<p>a</p>");
    test::FakeFtpServer server;
    server.Reply("STOR", "");  // the store is never answered
    fx.AddSite("S", fx.dir.Sub("site"), server.Port());
    TApplicationModules modules;
    TForm1* form = modules.Form1();
    QSignalSpy finished(form, &TForm1::RunFinished);
    UploadFiles(modules, fx.dir.Sub("site"), {"a.htm"});
    QTRY_VERIFY_WITH_TIMEOUT(form->Memo1->toPlainText().contains(QStr("a.htm 転送中")), 10000);
    QTRY_VERIFY(form->btnAbort->isEnabled());
    QTest::qWait(200);  // the store is under way and waits for its reply
    QElapsedTimer clock;
    clock.start();
    form->btnAbort->click();
    QTRY_VERIFY_WITH_TIMEOUT(form->Memo1->toPlainText().contains(QStr("中止しています…")), 500);
    QVERIFY(!form->btnAbort->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Aborted));
    QVERIFY(form->Memo1->toPlainText().contains(QStr("a.htm 転送中断: ")));
    QVERIFY(form->BitBtn1->isEnabled());
  }
};

QTEST_MAIN(UploadProgressTest)
#include "upload_progress_test.moc"
