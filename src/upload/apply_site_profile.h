// Copying the current site profile into the FTP session's connection
// records, shared by the window's ApplySiteProfile and tovra-cli.
#pragma once

#include "ftp/dmFtp.h"
#include "upload/upload_plan.h"

namespace tovra {

class TSiteProfile;
class TExtendedSettings;

// The connection settings that a site's extended settings ask for.
TFtpConnectionSettings ConnectionSettingsOf(const TExtendedSettings& extended);
class TFTP;

// HostInfo := the server fields. ProxyInfo := the proxy fields when the
// proxy box is on; otherwise only its port becomes 0 (no proxy) and its other
// fields keep what they held. The data connection mode, encryption, pin and
// remote name encoding come from the extended settings (absent keys: active,
// plain, no pin, CP932 names).
void ApplyProfileToSession(const TSiteProfile& profile, TFTP& ftp);

}  // namespace tovra

namespace tovra {

// The site of an upload as the window and tovra-cli hand it over at the
// press: the profile's name, root, server and proxy records (no proxy when
// its box is off) and extended settings. Nothing of a session is read.
TUploadSite UploadSiteOf(const TSiteProfile& profile);

}  // namespace tovra
