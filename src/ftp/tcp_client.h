// TIdTCPClient: the connection that dials out to Host:Port, the base of the
// FTP control connection. Used by one thread at a time.
#pragma once

#include <string>

#include "ftp/tcp_connection.h"

namespace tovra {

class TIdTCPClient : public TIdTCPConnection {
 public:
  std::string Host;
  int Port = 21;

  // A fresh socket bound to any local address, connected to Host:Port; the
  // addresses of the name (IPv6 and IPv4) are tried in order. EIdAlreadyConnected when open already; socket errors
  // raise EIdSocketError (11001 for a name that cannot be resolved).
  void Connect();
};

}  // namespace tovra
