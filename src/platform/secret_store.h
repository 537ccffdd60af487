// The desktop's secret store (the Secret Service over the session bus,
// through libsecret): site passwords kept as items named by the application,
// the site and the profile field they stand for. Every call blocks until the
// service has answered; without a session bus a call fails at once, and no
// bus is ever launched. Safe from any thread, one call at a time.
#pragma once

#include <optional>
#include <string>

#include "util/errors.h"

namespace tovra {

// One password of one site: the site name and the profile key (WebPasswd,
// ProxyPasswd), both CP932.
struct TSecretItem {
  std::string site;
  std::string field;
};

enum class TSecretStoreFault { Unavailable, Locked, Failed };

// The secret store could not give or keep a site's password. The text says
// why in Japanese and names the site.
class ESecretStoreError : public ETovraError {
 public:
  ESecretStoreError(TSecretStoreFault fault, const std::string& site, const std::string& detail = {});
  TSecretStoreFault Fault() const { return fault_; }

 private:
  TSecretStoreFault fault_;
};

// Whether a Secret Service answers on the session bus.
bool SecretServiceAnswers();

// Whether a locked keyring may be unlocked through the desktop's own prompt
// (the window allows it; the command line never waits for one). Off at start.
void AllowSecretStorePrompts(bool allow);

// The stored password (CP932), or nothing when the store holds no item for it.
// Throws ESecretStoreError when the store is missing or locked.
std::optional<std::string> LookupSecret(const TSecretItem& item);
// Stores the password, replacing the item's old one. Throws
// ESecretStoreError; the store then holds what it held before.
void StoreSecret(const TSecretItem& item, const std::string& password);
// Removes the item; an item that is not there is no error. Throws
// ESecretStoreError when the store is missing or locked.
void ClearSecret(const TSecretItem& item);

}  // namespace tovra
