#include "upload/apply_site_profile.h"

#include "ftp/dmFtp.h"
#include "sites/site_profile.h"

namespace tovra {

void ApplyProfileToSession(const TSiteProfile& profile, TFTP& ftp) {
  ftp.HostInfo.HostName = profile.WebHostName;
  ftp.HostInfo.UserName = profile.WebUserName;
  ftp.HostInfo.Password = profile.WebPasswd;
  ftp.HostInfo.Port = profile.WebPort;
  if (profile.chkUseProxy) {
    ftp.ProxyInfo.HostName = profile.ProxyHostName;
    ftp.ProxyInfo.UserName = profile.ProxyUserName;
    ftp.ProxyInfo.Password = profile.ProxyPasswd;
    ftp.ProxyInfo.Port = profile.ProxyPort;
  } else {
    ftp.ProxyInfo.Port = 0;
  }
}

TUploadSite UploadSiteOf(const TSiteProfile& profile, const TFTP& ftp) {
  TUploadSite site;
  site.root = profile.LocalRootDir;
  site.host = ftp.HostInfo;
  site.proxy = ftp.ProxyInfo;
  site.extended = profile.Extended;
  return site;
}

}  // namespace tovra
