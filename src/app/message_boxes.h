// Every message box of the window goes through here, so that tests can
// answer boxes in advance (SetNextAnswer) instead of a user clicking them.
// UI thread only.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "util/messenger.h"

namespace tovra {

class TMessageBoxes {
 public:
  enum Answer { Ok, Cancel, Abort };

  static void Show(QWidget* parent, TMessageKind kind, const std::string& cp932);
  // Warning with OK and Cancel; true only for OK.
  static bool ConfirmOkCancel(QWidget* parent, const std::string& cp932);
  // Information with OK and Abort; true only for OK.
  static bool ConfirmOkAbort(QWidget* parent, const std::string& cp932);

  // Tests: the next boxes are not shown but answered with these, in order.
  static void SetNextAnswer(Answer answer);
  // Tests: the texts of the boxes shown (or answered) since the last call.
  static std::vector<std::string> TakeShown();

 private:
  static bool Answered(const std::string& cp932, Answer& answer);
};

// The window's IMessenger: message boxes over a parent widget.
class TBoxMessenger : public IMessenger {
 public:
  explicit TBoxMessenger(QWidget* parent) : parent_(parent) {}
  void ShowMessage(TMessageKind kind, const std::string& text) override { TMessageBoxes::Show(parent_, kind, text); }
  bool ConfirmOkCancel(const std::string& text) override { return TMessageBoxes::ConfirmOkCancel(parent_, text); }
  bool ConfirmOkAbort(const std::string& text) override { return TMessageBoxes::ConfirmOkAbort(parent_, text); }

 private:
  QWidget* parent_;
};

}  // namespace tovra
