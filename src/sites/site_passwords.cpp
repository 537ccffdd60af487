#include "sites/site_passwords.h"

#include "platform/secret_store.h"

namespace tovra {

namespace {

void Put(const TSecretItem& item, const std::optional<std::string>& value) {
  if (value && !value->empty()) {
    StoreSecret(item, *value);
  } else {
    ClearSecret(item);
  }
}

}  // namespace

void ReadKeyringPasswords(const std::string& site, TPasswordValues& values) {
  values.resize(std::size(kPasswordKeys));
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (auto stored = LookupSecret({site, kPasswordKeys[i]})) values[i] = *stored;
  }
}

void ForgetKeyringPasswords(const std::string& site) {
  for (const char* key : kPasswordKeys) ClearSecret({site, key});
}

void ForgetKeyringPasswordsIfReachable(const std::string& site) noexcept {
  try {
    ForgetKeyringPasswords(site);
  } catch (...) {
  }
}

TKeyringPasswordWrite::TKeyringPasswordWrite(const std::string& site, const TPasswordValues& values) : site_(site) {
  // Every old value is read first: a locked keyring fails before anything changed.
  std::vector<std::optional<std::string>> old;
  for (const char* key : kPasswordKeys) old.push_back(LookupSecret({site, key}));
  try {
    for (std::size_t i = 0; i < old.size(); ++i) {
      before_.emplace_back(kPasswordKeys[i], old[i]);
      Put({site, kPasswordKeys[i]}, i < values.size() ? values[i] : std::string());
    }
  } catch (...) {
    Undo();
    throw;
  }
}

void TKeyringPasswordWrite::Undo() noexcept {
  for (const auto& [key, value] : before_) {
    try {
      Put({site_, key}, value);
    } catch (...) {
    }
  }
  before_.clear();
}

}  // namespace tovra
