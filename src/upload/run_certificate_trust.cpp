#include "upload/run_certificate_trust.h"

namespace tovra {

TTrustAnswer TRunCertificateTrust::AskTrust(const std::string& host, const TCertificateInfo& certificate) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (trusted_.count(certificate.Sha256) > 0) return TTrustAnswer::TrustOnce;
  if (front_ == nullptr) return TTrustAnswer::Reject;
  TTrustAnswer answer = front_->AskTrust(host, certificate);
  if (answer != TTrustAnswer::Reject) trusted_.insert(certificate.Sha256);
  return answer;
}

}  // namespace tovra
