// TfrmWarning01: the missing-dependency dialog. Lists the local files that
// the upload cannot send, grouped by their reason (not on the disk, outside
// the site, ...) with a count of each, and lets the user skip them or stop
// the upload. UI thread only.
#pragma once

#include <QDialog>

#include "html/missing_files.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tovra {

class TfrmWarning01 : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmWarning01(QWidget* parent = nullptr);

  // Fills Memo1 with the files, one line each (under a heading per reason
  // when there is more than one reason), Label2 with the counts, and shows
  // the dialog modally, the list scrolled to the start of its lines: true
  // for "ファイルをスキップして続行" (OK).
  bool Ask(const TMissingFiles& missing);
  // The filling alone (Ask without showing).
  void Fill(const TMissingFiles& missing);

  QPlainTextEdit* Memo1;
  QLabel* Label1;
  QLabel* Label2;  // the count of each reason
  QPushButton* btnContinue;
  QPushButton* btnAbort;

 private:
  void ScrollToStart();
};

}  // namespace tovra
