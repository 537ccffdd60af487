// How an FTP connection is secured: the one value that a site's settings
// store and the FTP client acts on. A plain value.
#pragma once

namespace tovra {

// None: plain FTP. ExplicitIfAvailable: AUTH TLS, plain FTP (with a status
// line) when the server refuses it. Explicit: AUTH TLS or no login.
// Implicit: TLS from the first byte.
enum class TFtpEncryption { None, ExplicitIfAvailable, Explicit, Implicit };

}  // namespace tovra
