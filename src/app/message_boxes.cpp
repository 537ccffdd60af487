#include "app/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <deque>

#include "app/japanese_texts.h"
#include "app/qt_text.h"

namespace tovra {

namespace {

std::deque<TMessageBoxes::Answer>& NextAnswers() {
  static std::deque<TMessageBoxes::Answer> answers;
  return answers;
}

std::vector<std::string>& ShownTexts() {
  static std::vector<std::string> shown;
  return shown;
}

QString Title() { return MessageBoxTitle(); }

}  // namespace

void TMessageBoxes::SetNextAnswer(Answer answer) { NextAnswers().push_back(answer); }

std::vector<std::string> TMessageBoxes::TakeShown() {
  std::vector<std::string> shown;
  shown.swap(ShownTexts());
  return shown;
}

bool TMessageBoxes::Answered(const std::string& cp932, Answer& answer) {
  ShownTexts().push_back(cp932);
  if (NextAnswers().empty()) return false;
  answer = NextAnswers().front();
  NextAnswers().pop_front();
  return true;
}

void TMessageBoxes::Show(QWidget* parent, TMessageKind kind, const std::string& cp932) {
  Answer answer;
  if (Answered(cp932, answer)) return;
  QMessageBox box(kind == TMessageKind::Warning ? QMessageBox::Warning : QMessageBox::Information, Title(), QStr(cp932),
                  QMessageBox::Ok, parent);
  // A path or URL in the text can be selected and copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  box.exec();
}

bool TMessageBoxes::ConfirmOkCancel(QWidget* parent, const std::string& cp932) {
  Answer answer;
  if (Answered(cp932, answer)) return answer == Ok;
  return QMessageBox::warning(parent, Title(), QStr(cp932), QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Cancel) == QMessageBox::Ok;
}

bool TMessageBoxes::ConfirmOkAbort(QWidget* parent, const std::string& cp932) {
  Answer answer;
  if (Answered(cp932, answer)) return answer == Ok;
  return QMessageBox::information(parent, Title(), QStr(cp932), QMessageBox::Ok | QMessageBox::Abort,
                                  QMessageBox::Ok) == QMessageBox::Ok;
}

}  // namespace tovra
