// The passwords of a site profile that PasswordStore=keyring keeps in the
// desktop's keyring: one item per site and profile key, read when the
// profile is loaded and written before the profile file, so that a failed
// keyring write leaves the profile as it was. Used on the UI thread only.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovra {

// The profile keys whose values the keyring can hold, in file order.
inline constexpr const char* kPasswordKeys[] = {"WebPasswd", "ProxyPasswd"};

// One password per key of kPasswordKeys, in that order.
using TPasswordValues = std::vector<std::string>;

// Fills each value from the site's keyring item; a key without an item keeps
// its value. Throws ESecretStoreError (locked, missing) naming the site.
void ReadKeyringPasswords(const std::string& site, TPasswordValues& values);

// Removes the site's items. Throws ESecretStoreError; items already removed
// stay removed (they are the ones the site no longer needs).
void ForgetKeyringPasswords(const std::string& site);
// The same after the profile has already stopped pointing to the items (a
// save to the file, a rename): a keyring that cannot be reached then keeps
// items that nothing uses, which is no reason to fail the change.
void ForgetKeyringPasswordsIfReachable(const std::string& site) noexcept;

// Writes the site's passwords to the keyring (an empty one removes its
// item) and can put back what the items held before, for a profile file
// that could then not be written.
class TKeyringPasswordWrite {
 public:
  // Throws ESecretStoreError with the keyring as it was before the call.
  TKeyringPasswordWrite(const std::string& site, const TPasswordValues& values);
  // Puts back the items as they were; failures are passed over (the
  // keyring that just took the write is put back the same way).
  void Undo() noexcept;

 private:
  std::string site_;
  std::vector<std::pair<const char*, std::optional<std::string>>> before_;
};

}  // namespace tovra
