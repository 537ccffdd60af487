// A messenger for tests of core code that speaks to the user: it keeps every
// message box it is shown and answers every question the same way. For one
// test thread.
#pragma once

#include <string>
#include <vector>

#include "util/messenger.h"

namespace tovra::test {

class RecordingMessenger : public IMessenger {
 public:
  explicit RecordingMessenger(bool answer = false) : answer(answer) {}

  void ShowMessage(TMessageKind kind, const std::string& text) override {
    kinds.push_back(kind);
    messages.push_back(text);
  }
  bool ConfirmOkCancel(const std::string&) override { return answer; }
  bool ConfirmOkAbort(const std::string&) override { return answer; }

  bool answer;  // to every question
  std::vector<TMessageKind> kinds;
  std::vector<std::string> messages;
};

}  // namespace tovra::test
