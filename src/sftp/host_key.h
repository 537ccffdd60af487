// Host key decisions of an SFTP connection. The server's key is judged right
// after the key exchange, before any password or private key is offered: a
// pinned fingerprint decides alone; without a pin the user's known_hosts
// file does. An unknown key may be trusted by the user (through
// IHostKeyPrompt); a changed key never is. Pure functions and plain values.
#pragma once

#include <string>

#include "ftp/certificate_trust.h"
#include "platform/socket_errors.h"

namespace tovra {

// A server's host key as shown to the user: "ssh-ed25519" and
// "SHA256:" + the unpadded base64 of the key's SHA-256 digest.
struct THostKey {
  std::string type;
  std::string fingerprint;
};

// What the known_hosts file says about the host and key.
enum class TKnownHost { Known, Unknown, Changed };

enum class THostKeyVerdict { Accept, AskUser, Refuse };

// pin: the site's HostKeySha256 ("" when none).
THostKeyVerdict JudgeHostKey(const std::string& pin, const std::string& fingerprint, TKnownHost known);

// Whether two fingerprints name the same digest (a trailing "=" of either
// side is padding and does not count).
bool SameFingerprint(const std::string& a, const std::string& b);

// Asks the user whether to trust a host key that neither a pin nor
// known_hosts vouches for, with the answers a server certificate gets.
// Called on the connecting thread; the window implements it with a dialog,
// tovra-cli refuses and explains how to pin.
class IHostKeyPrompt {
 public:
  virtual ~IHostKeyPrompt() = default;
  virtual TTrustAnswer TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) = 0;
};

// The connection stopped at an unknown host key; nothing was sent to log in.
class EHostKeyUnknown : public EIdException {
 public:
  EHostKeyUnknown(const std::string& host, int port, const THostKey& key);
  const THostKey& Key() const { return key_; }

 private:
  THostKey key_;
};

// The connection stopped at a key other than the pinned or known one.
class EHostKeyChanged : public EIdException {
 public:
  EHostKeyChanged(const std::string& host, int port, const THostKey& key, const std::string& expected);
  const THostKey& Key() const { return key_; }

 private:
  THostKey key_;
};

// "host" for port 22, else "host:port", as the messages name a server.
std::string ServerName(const std::string& host, int port);

}  // namespace tovra
