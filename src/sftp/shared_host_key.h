// TSharedHostKey: one host key decision for all the sessions of a transfer
// run. The first session to connect is judged as usual (pin, known_hosts,
// the user's answer); the sessions after it are held to the key it
// accepted, so the user is asked at most once per run, and a key the user
// refused ends every later connect without asking again. Thread-safe.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "sftp/sftp_session.h"
#include "sites/extended_settings.h"

namespace tovra {

class TSharedHostKey {
 public:
  // Connects the session (TSftpSession::Connect) under the run's decision.
  void Connect(TSftpSession& session);

 private:
  std::mutex mutex_;  // held while the first decision is made
  std::string accepted_;
  std::optional<THostKey> refused_;
};

// The SFTP session settings of a site: its host record (port 0, or the FTP
// port 21 that a profile holds when none was given, means 22) and its
// extended settings (pin, private key file, remote name encoding).
TSftpSettings SftpSettingsOf(const std::string& host, int port, const std::string& user, const std::string& password,
                             const TExtendedSettings& extended);

}  // namespace tovra
