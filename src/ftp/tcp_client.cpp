#include "ftp/tcp_client.h"

#include <cerrno>
#include <optional>

#include "ftp/id_exceptions.h"

namespace tovra {

void TIdTCPClient::Connect() {
  if (IsConnected()) throw EIdAlreadyConnected();
  std::vector<std::string> addresses = ResolveHostAll(Host);
  if (Port < 0 || Port > 65535) throw EIdSocketError(SocketErrorCodeOf(EINVAL));
  // Each address in turn; the last failure is the one reported.
  std::optional<EIdSocketError> last;
  for (const auto& address : addresses) {
    try {
      TSocket socket = TSocket::CreateStream(address.find(':') != std::string::npos);
      socket.Bind("", 0);
      if (!socket.StartConnect(address, static_cast<std::uint16_t>(Port))) {
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
