#include "app/Warning01.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/qt_text.h"

namespace tovra {

TfrmWarning01::TfrmWarning01(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName("frmWarning01");
  setFixedSize(328, 272);
  setModal(true);
  // Red behind the controls only: the memo and buttons keep their own look.
  setStyleSheet("QDialog#frmWarning01 { background-color: #ff0000; } QLabel#Label1 { color: white; }");

  Label1 = new QLabel(QStr("以下の依存ファイルがローカルディスクに存在しません。"), this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  btnContinue = new QPushButton(QStr("ファイルをスキップして続行"), this);
  btnContinue->setObjectName("btnContinue");
  btnAbort = new QPushButton(QStr("ＦＴＰアップロード中止"), this);
  btnAbort->setObjectName("btnAbort");
  connect(btnContinue, &QPushButton::clicked, this, &QDialog::accept);  // btnContinueClick
  connect(btnAbort, &QPushButton::clicked, this, &QDialog::reject);     // btnAbortClick

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(4);
  buttons->addWidget(btnContinue);
  buttons->addWidget(btnAbort);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(Label1);
  layout->addWidget(Memo1, 1);
  layout->addLayout(buttons);
}

bool TfrmWarning01::Ask(const TStringList& missing) {
  Memo1->clear();
  for (const auto& line : missing) Memo1->appendPlainText(QStr(line));
  if (QScreen* screen = this->screen()) move(screen->geometry().center() - rect().center());
  return exec() == QDialog::Accepted;
}

}  // namespace tovra
