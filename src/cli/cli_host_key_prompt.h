// The command line's answer to an unknown SFTP host key: it never trusts one
// by itself; it prints the key and how to pin it, and the connection ends
// before any login (the error that follows names the key as well).
#pragma once

#include <string>

#include "sftp/host_key.h"

namespace tovra::cli {

class TCliHostKeyPrompt : public IHostKeyPrompt {
 public:
  // pinAdvice: how to trust the key, with %s for the fingerprint (for
  // example "--pin %s" for put and ls, a site set line for upload).
  explicit TCliHostKeyPrompt(std::string pinAdvice) : pinAdvice_(std::move(pinAdvice)) {}
  TTrustAnswer TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) override;

 private:
  std::string pinAdvice_;
};

}  // namespace tovra::cli
