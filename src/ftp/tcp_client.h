// TIdTCPClient: the connection that dials out to Host:Port, the base of the
// FTP control connection. Used by one thread at a time.
#pragma once

#include <string>

#include "ftp/tcp_connection.h"

namespace tovra {

inline constexpr int kDefaultConnectTimeoutMs = 20000;

class TIdTCPClient : public TIdTCPConnection {
 public:
  std::string Host;
  int Port = 21;
  // Milliseconds the TCP connect may take; 0 leaves it to the platform.
  int ConnectTimeout = kDefaultConnectTimeoutMs;

  // A fresh socket bound to any local address, connected to Host:Port; the
  // addresses of the name (IPv6 and IPv4) are tried in order. Raises
  // EIdAlreadyConnected when open already; socket errors raise
  // EIdSocketError (11001 for a name that cannot be resolved, 10060 when
  // ConnectTimeout runs out); the cancel flag ends the wait (EIdCancelled).
  void Connect();
};

}  // namespace tovra
