#include "sftp/shared_host_key.h"

#include "sites/extended_settings.h"

namespace tovra {

void TSharedHostKey::Connect(TSftpSession& session) {
  std::unique_lock lock(mutex_);
  if (refused_) throw EHostKeyUnknown(session.Settings.host, session.Settings.port, *refused_);
  if (!accepted_.empty()) {
    lock.unlock();
    session.Settings.hostKeyPin = accepted_;
    session.Connect();
    return;
  }
  try {
    session.Connect();
  } catch (const EHostKeyUnknown& e) {
    refused_ = e.Key();
    throw;
  }
  accepted_ = session.HostKey().fingerprint;
}

TSftpSettings SftpSettingsOf(const std::string& host, int port, const std::string& user, const std::string& password,
                             const TExtendedSettings& extended) {
  constexpr int kFtpPort = 21;
  constexpr int kSshPort = 22;
  TSftpSettings settings;
  settings.host = host;
  settings.port = port == 0 || port == kFtpPort ? kSshPort : port;
  settings.user = user;
  settings.password = password;
  settings.hostKeyPin = extended.HostKeySha256();
  settings.privateKeyFile = extended.PrivateKeyFile();
  // SFTP names are bytes: CP932 as stored (also when the key is absent, as
  // for every site written before it), else UTF-8 ("auto" included, as
  // servers of today store names).
  settings.utf8Names = extended.RemoteNameEncoding() != TRemoteNameEncoding::Cp932;
  return settings;
}

}  // namespace tovra
