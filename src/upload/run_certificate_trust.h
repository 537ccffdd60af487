// TRunCertificateTrust: the certificate question for the sessions of one
// transfer run. Several sessions may meet the same unknown certificate at
// once; the front end is asked one question at a time, and a certificate
// trusted once is trusted by every session of the run without asking again.
// Thread-safe (AskTrust is called from the sessions' threads).
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "ftp/certificate_trust.h"

namespace tovra {

class TRunCertificateTrust : public ICertificateTrust {
 public:
  // front: the front end's question (nullptr: refuse what is not trusted).
  explicit TRunCertificateTrust(ICertificateTrust* front) : front_(front) {}

  TTrustAnswer AskTrust(const std::string& host, const TCertificateInfo& certificate) override;

 private:
  ICertificateTrust* front_;
  std::mutex mutex_;
  std::set<std::string> trusted_;  // SHA-256 fingerprints trusted in this run
};

}  // namespace tovra
