// TIdSimpleServer: the one-shot listening end of an active data connection.
// It binds to the control connection's local address and a port chosen by
// the platform, accepts exactly one connection from the server and closes the
// listener. A connection from any other address is closed unanswered. Used by one thread; the progress handler may
// close it mid-transfer.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/tcp_connection.h"

namespace tovra {

inline constexpr int kDefaultAcceptTimeoutMs = 60000;
inline constexpr int kDefaultAcceptPollMs = 50;
inline constexpr int kListenBacklog = 15;

class TIdSimpleServer : public TIdTCPConnection {
 public:
  std::string BoundIP;
  std::uint16_t BoundPort = 0;
  // The only address a connection is accepted from (the control connection's
  // peer); empty accepts any.
  std::string AllowedPeer;
  // The wait for the server's connection: a limit and the polling interval.
  int AcceptTimeout = kDefaultAcceptTimeoutMs;
  int AcceptPollInterval = kDefaultAcceptPollMs;

  // Binds to BoundIP:BoundPort and listens; BoundPort then holds the port
  // the platform assigned. A bind refused because the address is in use
  // raises EIdCouldNotBindSocket.
  void BeginListening();
  // Waits for the server's connection, accepts it and closes the listener.
  // Connections from other addresses are closed and the wait goes on.
  // EIdAcceptTimeout when none arrives within AcceptTimeout.
  void Listen();
  // Closes the listener and any accepted connection.
  void EndListening();

 private:
  TSocket listener_;
};

// "h1,h2,h3,h4,p1,p2" of a PORT command for a dotted address and a port.
std::string PortArgument(const std::string& address, std::uint16_t port);

}  // namespace tovra
