// How the core speaks to the user: message boxes and yes/no questions. The
// window implements it with modal boxes, tovra-cli with the terminal and its
// flags, tests with a recording fake that answers in advance.
// Called on the UI thread only.
#pragma once

#include <string>

namespace tovra {

enum class TMessageKind { Information, Warning };

class IMessenger {
 public:
  virtual ~IMessenger() = default;
  // A box with one OK button.
  virtual void ShowMessage(TMessageKind kind, const std::string& text) = 0;
  // A warning with OK and Cancel: true only for OK.
  virtual bool ConfirmOkCancel(const std::string& text) = 0;
  // A question with OK and Abort: true only for OK.
  virtual bool ConfirmOkAbort(const std::string& text) = 0;
};

}  // namespace tovra
