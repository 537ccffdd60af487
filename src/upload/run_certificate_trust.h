// TRunCertificateTrust and TRunHostKeyPrompt: the certificate and host key
// questions for the sessions of one transfer run. Several sessions may meet
// the same unknown certificate at once; the front end is asked one question
// at a time, a certificate trusted once is trusted by every session of the
// run without asking again, and a refusal is the run's answer: no session
// asks again in that run. "Trust and remember" is written into the run's own
// site (the plan's), whichever site the front end shows meanwhile.
// Thread-safe (called from the sessions' threads).
#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "ftp/certificate_trust.h"
#include "sftp/host_key.h"

namespace tovra {

// Writes one extended setting (key, value) into the run's site.
using TRememberSetting = std::function<void(const std::string& key, const std::string& value)>;

class TRunCertificateTrust : public ICertificateTrust {
 public:
  // front: the front end's question (nullptr: refuse what is not trusted).
  TRunCertificateTrust(ICertificateTrust* front, TRememberSetting remember)
      : front_(front), remember_(std::move(remember)) {}

  TTrustAnswer AskTrust(const std::string& host, const TCertificateInfo& certificate) override;
  // Whether the front end refused a certificate in this run.
  bool Refused() const;

 private:
  ICertificateTrust* front_;
  TRememberSetting remember_;
  mutable std::mutex mutex_;
  std::set<std::string> trusted_;  // SHA-256 fingerprints trusted in this run
  bool refused_ = false;
};

class TRunHostKeyPrompt : public IHostKeyPrompt {
 public:
  // front: the front end's question (nullptr: refuse).
  TRunHostKeyPrompt(IHostKeyPrompt* front, TRememberSetting remember) : front_(front), remember_(std::move(remember)) {}

  TTrustAnswer TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) override;

 private:
  IHostKeyPrompt* front_;
  TRememberSetting remember_;
  std::mutex mutex_;
};

}  // namespace tovra
