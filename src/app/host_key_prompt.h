// TWindowHostKeyPrompt: the window's question about an unknown SFTP host
// key. The transfer thread asks; the box is shown on the UI thread (the
// fingerprint, "trust and remember", "trust this time", "stop"), and the
// transfer thread waits for the answer, giving up when the run is cancelled
// (closing the window or the abort button never waits for a box). "Trust and
// remember" calls rememberPin on the UI thread, which writes the site's pin.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "sftp/host_key.h"

namespace tovra {

class TWindowHostKeyPrompt : public IHostKeyPrompt {
 public:
  using TRememberPin = std::function<void(const std::string& fingerprint)>;
  // cancel: the run's flag (not owned; may be null).
  TWindowHostKeyPrompt(QWidget* parent, TRememberPin rememberPin, const std::atomic<std::uint8_t>* cancel);

  TTrustAnswer TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) override;

  // The question's text (CP932).
  static std::string QuestionText(const std::string& host, int port, const THostKey& key);
  // Asks on the calling (UI) thread; calls rememberPin for "trust and remember".
  static TTrustAnswer AskNow(QWidget* parent, const std::string& text, const THostKey& key,
                             const TRememberPin& rememberPin);

 private:
  QPointer<QWidget> parent_;
  TRememberPin rememberPin_;
  const std::atomic<std::uint8_t>* cancel_;
};

}  // namespace tovra
