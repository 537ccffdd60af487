#include "ftp/tcp_client.h"

#include <cerrno>

#include "ftp/id_exceptions.h"

namespace tovra {

void TIdTCPClient::Connect() {
  if (IsConnected()) throw EIdAlreadyConnected();
  TSocket socket = TSocket::CreateStream();
  socket.Bind("", 0);
  std::string address = ResolveHost(Host);
  if (Port < 0 || Port > 65535) throw EIdSocketError(SocketErrorCodeOf(EINVAL));
  if (!socket.StartConnect(address, static_cast<std::uint16_t>(Port))) {
    // A host that drops the attempt would otherwise hold us for the
    // platform's own limit (minutes).
    if (!WaitOn(socket, true, DeadlineAfter(ConnectTimeout))) throw EIdSocketError(kWsaETimedOut);
    socket.FinishConnect();
  }
  Attach(std::move(socket));
}

}  // namespace tovra
