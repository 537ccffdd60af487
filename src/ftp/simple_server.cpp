#include "ftp/simple_server.h"

#include <chrono>

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
  listener_ = TSocket::CreateStream();
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
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(AcceptTimeout);
  int slice = AcceptPollInterval > 0 ? AcceptPollInterval : 1;
  // Waited in slices so that the limit holds however the platform's poll behaves.
  while (!listener_.WaitReadable(slice)) {
    if (Interrupter != nullptr && Interrupter->Tripped()) {
      listener_.Close();
      throw EIdClosedSocket();
    }
    if (AcceptTimeout > 0 && Clock::now() >= deadline) {
      listener_.Close();
      throw EIdAcceptTimeout();
    }
  }
  TSocket accepted = listener_.Accept();
  listener_.Close();
  Attach(std::move(accepted));
}

void TIdSimpleServer::EndListening() {
  listener_.Close();
  CloseSocket();
}

}  // namespace tovra
