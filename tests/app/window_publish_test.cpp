// The window's サイト公開 button on the offscreen platform against pyftpdlib:
// the preview lists the plan and publishes only on OK; deletions happen only
// when the preview's box is ticked, and then only of files the window
// published.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest/QtTest>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "app/qt_text.h"
#include "gui_test_support.h"
#include "platform/files.h"
#include "support/pyftpd_server.h"

using namespace tovra;
using tovra::test::AppFolderFixture;
using tovra::test::StartWindow;

namespace {

struct PublishedSite : AppFolderFixture {
  std::string root = dir.Sub("site");
  std::string remote = dir.Sub("remote");
  std::unique_ptr<test::PyFtpdServer> server;
  PublishedSite() {
    dir.Write("site/index.html", "<p>home</p>");
    dir.Write("site/img/a.png", "png");
    dir.Write("remote/theirs.txt", "theirs");
    server = std::make_unique<test::PyFtpdServer>(remote);
    TExtendedSettings extended;
    extended.Set("AtomicUpload", "1");
    AddSite("S", root, server->Port(), "", extended);
  }
};

// Answers the next preview: the plan's rows, the delete box, then OK or CANCEL.
void AnswerPreview(QStringList& rows, bool& deleteShown, bool tick, bool ok) {
  test::WhenModal([&rows, &deleteShown, tick, ok](QWidget* modal) {
    auto* list = modal->findChild<QListWidget*>("lstPlan");
    auto* box = modal->findChild<QCheckBox*>("cxDelete");
    for (int i = 0; list != nullptr && i < list->count(); ++i) rows << list->item(i)->text();
    deleteShown = box != nullptr && !box->isHidden();
    if (box != nullptr && tick) box->setChecked(true);
    auto* buttons = modal->findChild<QDialogButtonBox*>();
    buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
  });
}

}  // namespace

class WindowPublishTest : public QObject {
  Q_OBJECT

 private slots:
  void thePreviewPublishesOnOkAndDeletesOnlyWhenTicked() {
    PublishedSite site;
    TApplicationModules modules;
    StartWindow(modules);
    TForm1* form = modules.Form1();
    QSignalSpy finished(form, &TForm1::RunFinished);

    QStringList rows;
    bool deleteShown = true;
    AnswerPreview(rows, deleteShown, false, false);
    form->btnPublish->click();
    QCOMPARE(rows, (QStringList{QStr("新規 img/a.png"), QStr("新規 index.html")}));
    QVERIFY(!deleteShown);
    QVERIFY(!FileExists(site.remote + "/index.html"));  // CANCEL sends nothing

    rows.clear();
    AnswerPreview(rows, deleteShown, false, true);
    form->btnPublish->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QCOMPARE(ReadFileBytes(site.remote + "/img/a.png"), std::string("png"));
    QCOMPARE(ReadFileBytes(site.remote + "/index.html"), std::string("<p>home</p>"));
    QVERIFY(form->btnPublish->isEnabled());

    DeleteFile(site.root + "/img/a.png");
    for (bool tick : {false, true}) {
      rows.clear();
      AnswerPreview(rows, deleteShown, tick, true);
      form->btnPublish->click();
      QTRY_COMPARE_WITH_TIMEOUT(finished.count(), tick ? 3 : 2, 20000);
      QCOMPARE(rows, QStringList{QStr("削除 img/a.png")});
      QVERIFY(deleteShown);
      QCOMPARE(FileExists(site.remote + "/img/a.png"), !tick);
    }
    QCOMPARE(ReadFileBytes(site.remote + "/theirs.txt"), std::string("theirs"));
  }
};

QTEST_MAIN(WindowPublishTest)
#include "window_publish_test.moc"
