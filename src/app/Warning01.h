// TfrmWarning01: the missing-dependency dialog. Lists the local files that
// the upload cannot find and lets the user skip them or stop the upload.
#pragma once

#include <QDialog>

#include "util/string_list.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tovra {

class TfrmWarning01 : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmWarning01(QWidget* parent = nullptr);

  // Fills Memo1 with the missing paths, one per line, and shows the dialog
  // modally: true for "ファイルをスキップして続行" (OK).
  bool Ask(const TStringList& missing);

  QPlainTextEdit* Memo1;
  QLabel* Label1;
  QPushButton* btnContinue;
  QPushButton* btnAbort;
};

}  // namespace tovra
