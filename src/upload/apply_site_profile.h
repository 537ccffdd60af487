// Copying the current site profile into the FTP session's connection
// records, shared by the window's ApplySiteProfile and tovra-cli.
#pragma once

namespace tovra {

class TSiteProfile;
class TFTP;

// HostInfo := the server fields; the client's name encoding := the profile's
// RemoteNameEncoding. ProxyInfo := the proxy fields when the
// proxy box is on; otherwise only its port becomes 0 (no proxy) and its other
// fields keep what they held.
void ApplyProfileToSession(const TSiteProfile& profile, TFTP& ftp);

}  // namespace tovra
