#include "update_panel_support.h"

#include <sys/time.h>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <algorithm>

#include "app/qt_text.h"
#include "app/shell_widgets.h"
#include "platform/encoding.h"
#include "update/update_check.h"
#include "upload/upload_view.h"

namespace tovra::test {

void SetWriteTime(const std::string& path, std::time_t written) {
  timeval tv[2] = {{written, 0}, {written, 0}};
  QVERIFY2(::utimes(ToOsPath(path).c_str(), tv) == 0, path.c_str());
}

TwoSites::TwoSites(int portA, int portB) {
  for (const char* f : {"siteA/index.html", "siteA/news.html", "siteA/sub/page.htm", "siteB/top.htm", "siteB/movie.swf",
                        "siteB/style.css"}) {
    SetWriteTime(dir.Write(f, std::string("<p>") + f + "</p>"), kSaved);
  }
  AddSite("サイトA", rootA, portA);
  AddSite("サイトB", rootB, portB);
}

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
    if (form->CheckListBox1->item(i)->checkState() == Qt::Checked)
      rows.push_back(ToCp932(form->CheckListBox1->item(i)->text()));
  return rows;
}

void Tick(TForm1* form, const std::string& path, Qt::CheckState state) {
  for (int i = 0; i < form->CheckListBox1->count(); ++i) {
    QListWidgetItem* item = form->CheckListBox1->item(i);
    if (ToCp932(item->text()) == path) {
      item->setCheckState(state);
      return;
    }
  }
  QFAIL(("no row " + path).c_str());
}

void ExpectPanelFor(TForm1* form, const std::string& site, const std::vector<std::string>& files) {
  QVERIFY(form->Panel8->isVisible());
  QCOMPARE(ToCp932(form->Panel9->text()), "「" + site + "」に更新ファイルを検出しました。");
  std::vector<std::string> rows = Rows(form), expected = files;
  std::sort(rows.begin(), rows.end());
  std::sort(expected.begin(), expected.end());
  QCOMPARE(rows, expected);
  for (int i = 0; i < form->CheckListBox1->count(); ++i)
    QCOMPARE(form->CheckListBox1->item(i)->checkState(), Qt::Unchecked);
  for (QWidget* w : std::initializer_list<QWidget*>{form->JamShellTree1, form->JamShellList1, form->Splitter1})
    QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
  for (QWidget* w : std::initializer_list<QWidget*>{form->ComboBox1, form->Button3, form->ComboBox2, form->btnWebCheck})
    QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
  QCOMPARE(ToCp932(form->ComboBox1->currentText()), site);  // the window switched to that site
}

void ExpectNormalView(TForm1* form) {
  QVERIFY(form->Panel8->isHidden());
  for (QWidget* w : std::initializer_list<QWidget*>{form->JamShellTree1, form->JamShellList1, form->Splitter1})
    QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
  for (QWidget* w : std::initializer_list<QWidget*>{form->ComboBox1, form->Button3, form->ComboBox2, form->btnWebCheck})
    QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
}

void UploadTicked(TForm1* form) {
  QSignalSpy finished(form, &TForm1::RunFinished);
  form->BitBtn1->click();
  QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
  QCOMPARE(finished.at(0).at(0).toInt(), static_cast<int>(TRunOutcome::Completed));
  QVERIFY(form->BitBtn1->isEnabled());
}

}  // namespace tovra::test
