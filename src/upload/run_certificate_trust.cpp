#include "upload/run_certificate_trust.h"

namespace tovra {

TTrustAnswer TRunCertificateTrust::AskTrust(const std::string& host, const TCertificateInfo& certificate) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (trusted_.count(certificate.Sha256) > 0) return TTrustAnswer::TrustOnce;
  if (front_ == nullptr || refused_) return TTrustAnswer::Reject;
  TTrustAnswer answer = front_->AskTrust(host, certificate);
  if (answer == TTrustAnswer::Reject) {
    refused_ = true;
    return answer;
  }
  trusted_.insert(certificate.Sha256);
  if (answer == TTrustAnswer::TrustAndRemember && remember_) remember_("CertificateSha256", certificate.Sha256);
  return answer;
}

bool TRunCertificateTrust::Refused() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refused_;
}

TTrustAnswer TRunHostKeyPrompt::TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (front_ == nullptr) return TTrustAnswer::Reject;
  TTrustAnswer answer = front_->TrustUnknownHostKey(host, port, key);
  if (answer == TTrustAnswer::TrustAndRemember && remember_) remember_("HostKeySha256", key.fingerprint);
  return answer;
}

}  // namespace tovra
