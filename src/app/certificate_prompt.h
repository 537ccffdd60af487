// The window's answer to an untrusted server certificate: a question box
// with the certificate's subject, issuer, validity and fingerprint, asked
// once per run. "Trust and remember" hands the fingerprint to the window,
// which stores it as the site's pin. The question comes from the transfer
// thread; the box is shown on the UI thread while the transfer thread waits,
// and a cancel of the run answers it with a refusal.
#pragma once

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "ftp/certificate_trust.h"

namespace tovra {

// Shows the question box on the calling (UI) thread and returns the answer;
// closing the box refuses.
TTrustAnswer AskCertificateTrust(QWidget* parent, const std::string& host, const TCertificateInfo& certificate);

class TCertificatePrompt : public ICertificateTrust {
 public:
  // remember runs on the UI thread with the fingerprint to pin; cancel is the
  // run's cancel flag (1: stop waiting, refuse).
  TCertificatePrompt(QWidget* parent, const std::atomic<std::uint8_t>& cancel,
                     std::function<void(const std::string&)> remember)
      : parent_(parent), cancel_(cancel), remember_(std::move(remember)) {}
  TTrustAnswer AskTrust(const std::string& host, const TCertificateInfo& certificate) override;

 private:
  QWidget* parent_;
  const std::atomic<std::uint8_t>& cancel_;
  std::function<void(const std::string&)> remember_;
};

}  // namespace tovra
