// The command line's answer to an untrusted server certificate: it never
// trusts one by itself; it says how to pin the fingerprint (the connection
// error that follows shows the certificate).
#pragma once

#include <string>

#include "ftp/certificate_trust.h"

namespace tovra::cli {

class TCliCertificateTrust : public ICertificateTrust {
 public:
  // pinAdvice: how to trust it, with %s for the fingerprint (for example
  // "--pin %s" for put and ls, a site set line for upload).
  explicit TCliCertificateTrust(std::string pinAdvice) : pinAdvice_(std::move(pinAdvice)) {}
  TTrustAnswer AskTrust(const std::string& host, const TCertificateInfo& certificate) override;

 private:
  std::string pinAdvice_;
};

// The certificate's subject, issuer, validity and fingerprint, one per line.
void PrintCertificate(const TCertificateInfo& certificate);

}  // namespace tovra::cli
