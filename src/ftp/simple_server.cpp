#include "ftp/simple_server.h"

#include <algorithm>

#include "ftp/id_exceptions.h"

namespace tovra {

std::string PortArgument(const std::string& address, std::uint16_t port) {
  std::string text = address;
  for (char& c : text) {
    if (c == '.') c = ',';
  }
  return text + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

void TIdSimpleServer::BeginListening() {
  listener_ = TSocket::CreateStream(BoundIP.find(':') != std::string::npos);
  try {
    listener_.Bind(BoundIP, BoundPort);
  } catch (const EIdSocketError& e) {
    listener_.Close();
    if (e.LastError() == kWsaEAddrInUse) throw EIdCouldNotBindSocket();
    throw;
  }
  BoundIP = listener_.LocalAddress();
  BoundPort = listener_.LocalPort();
  listener_.Listen(kListenBacklog);
}

void TIdSimpleServer::Listen() {
  // Waited in slices so that the limit holds however the platform's poll
  // behaves, and so that an abort ends the wait.
  int slice = std::min(AcceptPollInterval > 0 ? AcceptPollInterval : 1, kWaitSliceMs);
  const TWaitClock::time_point deadline = DeadlineAfter(AcceptTimeout);
  for (;;) {
    bool arrived = false;
    try {
      arrived = WaitOn(listener_, false, deadline, slice);
    } catch (...) {
      listener_.Close();
      throw;
    }
    if (!arrived) {
      listener_.Close();
      throw EIdAcceptTimeout();
    }
    std::string peer;
    TSocket accepted = listener_.Accept(&peer);
    // A third party that reaches the port first gets nothing and sends
    // nothing; the wait for the server goes on.
    if (!AllowedPeer.empty() && peer != AllowedPeer) continue;
    listener_.Close();
    Attach(std::move(accepted));
    return;
  }
}

void TIdSimpleServer::EndListening() {
  listener_.Close();
  CloseSocket();
}

}  // namespace tovra
