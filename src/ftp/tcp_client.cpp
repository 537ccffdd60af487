#include "ftp/tcp_client.h"

#include <optional>

#include "ftp/id_exceptions.h"

namespace tovra {

void TIdTCPClient::Connect() {
  if (IsConnected()) throw EIdAlreadyConnected();
  const std::uint16_t port = CheckedPort(Port);
  std::vector<std::string> addresses = ResolveHostAll(Host);
  // Each address in turn; the last failure is the one reported.
  std::optional<EIdSocketError> last;
  for (const auto& address : addresses) {
    try {
      TSocket socket = TSocket::CreateStream(address.find(':') != std::string::npos);
      socket.Bind("", 0);
      if (!socket.StartConnect(address, port)) {
        // A host that drops the attempt would otherwise hold us for the
        // platform's own limit (minutes).
        if (!WaitOn(socket, true, DeadlineAfter(ConnectTimeout))) throw EIdSocketError(kWsaETimedOut);
        socket.FinishConnect();
      }
      Attach(std::move(socket));
      return;
    } catch (const EIdSocketError& e) {
      last = e;
    }
  }
  throw *last;
}

}  // namespace tovra
