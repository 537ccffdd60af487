#include "upload/apply_site_profile.h"

#include "ftp/dmFtp.h"
#include "sites/extended_settings.h"
#include "sites/site_profile.h"

namespace tovra {

TFtpConnectionSettings ConnectionSettingsOf(const TExtendedSettings& extended) {
  TFtpConnectionSettings settings;
  settings.passive = extended.DataConnection() == TDataConnectionMode::Passive;
  switch (extended.Encryption()) {
    case TEncryptionMode::None:
      settings.encryption = TFtpEncryption::None;
      break;
    case TEncryptionMode::ExplicitIfAvailable:
      settings.encryption = TFtpEncryption::ExplicitIfAvailable;
      break;
    case TEncryptionMode::Explicit:
      settings.encryption = TFtpEncryption::Explicit;
      break;
    case TEncryptionMode::Implicit:
      settings.encryption = TFtpEncryption::Implicit;
      break;
  }
  settings.certificateSha256 = extended.CertificateSha256();
  settings.nameEncoding = extended.RemoteNameEncoding();
  return settings;
}

namespace {

THostInfo HostOf(const TSiteProfile& profile) {
  return THostInfo{profile.WebHostName, profile.WebUserName, profile.WebPasswd, profile.WebPort};
}

}  // namespace

void ApplyProfileToSession(const TSiteProfile& profile, TFTP& ftp) {
  ftp.ApplyConnectionSettings(ConnectionSettingsOf(profile.Extended));
  ftp.HostInfo = HostOf(profile);
  if (profile.chkUseProxy) {
    ftp.ProxyInfo.HostName = profile.ProxyHostName;
    ftp.ProxyInfo.UserName = profile.ProxyUserName;
    ftp.ProxyInfo.Password = profile.ProxyPasswd;
    ftp.ProxyInfo.Port = profile.ProxyPort;
  } else {
    ftp.ProxyInfo.Port = 0;
  }
}

TUploadSite UploadSiteOf(const TSiteProfile& profile) {
  TUploadSite site;
  site.root = profile.LocalRootDir;
  site.host = HostOf(profile);
  if (profile.chkUseProxy) {
    site.proxy = THostInfo{profile.ProxyHostName, profile.ProxyUserName, profile.ProxyPasswd, profile.ProxyPort};
  }
  site.extended = profile.Extended;
  site.name = profile.CurrentSiteName();
  site.webUrl = profile.WebURL;
  return site;
}

}  // namespace tovra
