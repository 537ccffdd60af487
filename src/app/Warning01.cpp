#include "app/Warning01.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt_text.h"

namespace tovra {

TfrmWarning01::TfrmWarning01(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName("frmWarning01");
  setFixedSize(328, 272);
  setModal(true);
  // Red behind the controls only: the memo and buttons keep their own look.
  setStyleSheet("QDialog#frmWarning01 { background-color: #ff0000; } QLabel#Label1, QLabel#Label2 { color: white; }");

  Label1 = new QLabel(QStr("以下の依存ファイルがローカルディスクに存在しません。"), this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);

  Label2 = new QLabel(this);
  Label2->setObjectName("Label2");
  Label2->setWordWrap(true);

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
  layout->addWidget(Label2);
  layout->addWidget(Memo1, 1);
  layout->addLayout(buttons);
}

void TfrmWarning01::Fill(const TMissingFiles& missing) {
  int reasons = 0;
  for (std::size_t r = 0; r < kMissingReasonCount; ++r) reasons += missing.Count(static_cast<TMissingReason>(r)) > 0;
  const bool onDisk = missing.Count(TMissingReason::NotOnDisk) > 0;
  Label1->setText(
      QStr(onDisk ? "以下の依存ファイルがローカルディスクに存在しません。" : "以下の依存ファイルは送信できません。"));
  Label2->setText(QStr(MissingCountsLine(missing)));
  Memo1->clear();
  for (std::size_t r = 0; r < kMissingReasonCount; ++r) {
    const auto reason = static_cast<TMissingReason>(r);
    if (missing.Count(reason) == 0) continue;
    if (reasons > 1) {
      Memo1->appendPlainText(
          QStr(std::string("■ ") + MissingReasonName(reason) + " " + std::to_string(missing.Count(reason)) + " 件"));
    }
    for (const auto& entry : missing.Entries()) {
      if (entry.reason == reason) Memo1->appendPlainText(QStr(entry.Line()));
    }
  }
  ScrollToStart();
}

void TfrmWarning01::ScrollToStart() {
  // Paths begin at the left edge: long lines are read from their start.
  Memo1->moveCursor(QTextCursor::Start);
  Memo1->horizontalScrollBar()->setValue(0);
  Memo1->verticalScrollBar()->setValue(0);
}

bool TfrmWarning01::Ask(const TMissingFiles& missing) {
  Fill(missing);
  if (QScreen* screen = this->screen()) move(screen->geometry().center() - rect().center());
  // Once shown, the scroll bars know their ranges: start at the left again.
  QTimer::singleShot(0, this, [this] { ScrollToStart(); });
  return exec() == QDialog::Accepted;
}

}  // namespace tovra
