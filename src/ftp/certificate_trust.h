// The question a front end answers when a server shows a certificate that
// neither the system's store nor the site's pinned fingerprint trusts: the
// window asks the user, the command line explains how to pin it. Asked on the
// thread that connects, before the user name is sent.
#pragma once

#include <string>

#include "platform/tls_stream.h"

namespace tovra {

enum class TTrustAnswer {
  Reject,            // end the connection
  TrustOnce,         // go on, for this run only
  TrustAndRemember,  // go on; the front end stores the fingerprint as the site's pin
};

class ICertificateTrust {
 public:
  virtual ~ICertificateTrust() = default;
  virtual TTrustAnswer AskTrust(const std::string& host, const TCertificateInfo& certificate) = 0;
};

}  // namespace tovra
