#include "sites/extended_settings.h"

#include <algorithm>
#include <initializer_list>

#include "sites/IniGT.h"
#include "util/char_string.h"
#include "util/string_list.h"

namespace tovra {

namespace {

// In the order of the profile file; the accepted values are checked by
// NormalizeExtendedValue below.
constexpr std::array<TExtendedKey, kExtendedKeyCount> kKeys{{
    {"DataConnection", "active", "passive", "passive, active"},
    {"Encryption", "none", "explicit-if-available", "none, explicit-if-available, explicit, implicit"},
    {"CertificateSha256", "", nullptr, "32 hexadecimal pairs separated by :"},
    {"PageEncoding", "shift_jis", "auto", "auto, shift_jis, utf-8"},
    {"RemoteNameEncoding", "cp932", "auto", "auto, cp932, utf-8"},
    {"ReuseConnection", "0", "1", "0, 1"},
    {"Connections", "1", "4", "1-8"},
    {"Protocol", "ftp", "ftp", "ftp, sftp"},
    {"HostKeySha256", "", nullptr, "SHA256: followed by 43 base64 characters"},
    {"PrivateKeyFile", "", nullptr, "a file path"},
    {"PasswordStore", "file", nullptr, "file, keyring"},
    {"References", "classic", "modern", "classic, modern"},
    {"VerifyAfterUpload", "0", "0", "0, 1"},
    {"AtomicUpload", "0", "1", "0, 1"},
    {"PublishExclude", "", nullptr, "glob patterns separated by ; (a trailing / names a folder)"},
}};

constexpr std::size_t kSha256Bytes = 32;

std::size_t IndexOf(std::string_view key) {
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (SameTextNoCase(kKeys[i].name, key)) return i;
  }
  throw EExtendedSettingError::UnknownKey(key);
}

std::optional<std::string> Choice(std::string_view value, std::initializer_list<const char*> choices) {
  for (const char* choice : choices) {
    if (SameTextNoCase(choice, value)) return std::string(choice);
  }
  return std::nullopt;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// "AB:CD:..." with exactly one SHA-256 digest's worth of pairs.
std::optional<std::string> CertificateDigest(std::string_view value) {
  if (value.size() != kSha256Bytes * 3 - 1) return std::nullopt;
  std::string upper;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    bool separator = i % 3 == 2;
    if (separator ? c != ':' : !IsHexDigit(c)) return std::nullopt;
    upper += (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return upper;
}

bool IsBase64Digit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// "SHA256:" and the unpadded base64 of a SHA-256 digest (43 characters; a
// trailing "=" is accepted and dropped). The prefix is kept as written.
std::optional<std::string> HostKeyDigest(std::string_view value) {
  constexpr std::string_view kPrefix = "SHA256:";
  if (value.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  std::string_view digits = value.substr(kPrefix.size());
  if (digits.size() == 44 && digits.back() == '=') digits.remove_suffix(1);
  if (digits.size() != 43 || !std::all_of(digits.begin(), digits.end(), IsBase64Digit)) return std::nullopt;
  // 43 digits carry 258 bits: the last one may only use its top four.
  if (std::string_view("AEIMQUYcgkosw048").find(digits.back()) == std::string_view::npos) return std::nullopt;
  return std::string(kPrefix) + std::string(digits);
}

std::optional<std::string> ConnectionCount(std::string_view value) {
  if (value.size() != 1 || value[0] < '1' || value[0] > '8') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> FilePath(std::string_view value) {
  bool control = std::any_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  if (value.empty() || control) return std::nullopt;
  return std::string(value);
}

template <typename E>
E Pick(std::string_view value, std::initializer_list<std::pair<const char*, E>> choices) {
  for (const auto& [name, e] : choices) {
    if (value == name) return e;
  }
  return choices.begin()->second;
}

}  // namespace

EExtendedSettingError EExtendedSettingError::BadValue(std::string_view key, std::string_view value) {
  std::string accepts;
  for (const auto& k : kKeys) {
    if (SameTextNoCase(k.name, key)) accepts = k.accepts;
  }
  return EExtendedSettingError(std::string(key), std::string("拡張設定 ") + std::string(key) +
                                                     " の値が正しくありません: " + std::string(value) + " (" + accepts +
                                                     ")");
}

EExtendedSettingError EExtendedSettingError::UnknownKey(std::string_view key) {
  return EExtendedSettingError(std::string(key), "拡張設定 に " + std::string(key) + " というキーはありません");
}

std::optional<std::string> NormalizeExtendedValue(std::string_view key, std::string_view value) {
  switch (IndexOf(key)) {
    case 0:
      return Choice(value, {"passive", "active"});
    case 1:
      return Choice(value, {"none", "explicit-if-available", "explicit", "implicit"});
    case 2:
      return CertificateDigest(value);
    case 3:
      return Choice(value, {"auto", "shift_jis", "utf-8"});
    case 4:
      return Choice(value, {"auto", "cp932", "utf-8"});
    case 5:
      return Choice(value, {"0", "1"});
    case 6:
      return ConnectionCount(value);
    case 7:
      return Choice(value, {"ftp", "sftp"});
    case 8:
      return HostKeyDigest(value);
    case 9:
      return FilePath(value);
    case 10:
      return Choice(value, {"file", "keyring"});
    case 11:
      return Choice(value, {"classic", "modern"});
    case 12:
    case 13:
      return Choice(value, {"0", "1"});
    default:
      return FilePath(value);  // patterns: any text without control characters
  }
}

const std::array<TExtendedKey, kExtendedKeyCount>& TExtendedSettings::Keys() { return kKeys; }

TExtendedSettings TExtendedSettings::NewSiteDefaults() {
  TExtendedSettings settings;
  for (const auto& key : kKeys) {
    if (key.newSite != nullptr) settings.Set(key.name, key.newSite);
  }
  return settings;
}

std::optional<std::string> TExtendedSettings::Stored(std::string_view key) const { return values_[IndexOf(key)]; }

std::string TExtendedSettings::Value(std::string_view key) const {
  std::size_t i = IndexOf(key);
  return values_[i] ? *values_[i] : std::string(kKeys[i].absent);
}

void TExtendedSettings::Set(std::string_view key, std::string_view value) {
  std::size_t i = IndexOf(key);
  std::optional<std::string> normal = NormalizeExtendedValue(key, value);
  if (!normal) throw EExtendedSettingError::BadValue(kKeys[i].name, value);
  values_[i] = std::move(normal);
  unreadable_[i].reset();
}

void TExtendedSettings::Clear(std::string_view key) {
  std::size_t i = IndexOf(key);
  values_[i].reset();
  unreadable_[i].reset();
}

std::optional<std::string> TExtendedSettings::Unreadable(std::string_view key) const {
  return unreadable_[IndexOf(key)];
}

bool TExtendedSettings::AbsentIsSafe(std::string_view key) {
  for (const char* weakening : {"Encryption", "Protocol", "PrivateKeyFile"}) {
    if (SameTextNoCase(weakening, key)) return false;
  }
  IndexOf(key);  // an unknown name throws
  return true;
}

bool TExtendedSettings::Empty() const {
  return std::none_of(values_.begin(), values_.end(), [](const auto& v) { return v.has_value(); });
}

void TExtendedSettings::Load(const TIniGT& ini) {
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    std::string text = CharTrim(ini.ReadValue(kExtendedSection, kKeys[i].name, ""));
    values_[i] = text.empty() ? std::nullopt : NormalizeExtendedValue(kKeys[i].name, text);
    unreadable_[i] = text.empty() || values_[i] ? std::nullopt : std::optional<std::string>(text);
  }
}

void TExtendedSettings::Save(TIniGT& ini) const {
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (values_[i]) {
      ini.WriteValue(kExtendedSection, kKeys[i].name, *values_[i]);
      continue;
    }
    // A key made absent (a forgotten pin) goes from the file, or the next
    // load would bring it back. A value no key accepts is left as written.
    std::string text = CharTrim(ini.ReadValue(kExtendedSection, kKeys[i].name, ""));
    if (!text.empty() && NormalizeExtendedValue(kKeys[i].name, text)) ini.EraseKey(kExtendedSection, kKeys[i].name);
  }
}

TDataConnectionMode TExtendedSettings::DataConnection() const {
  return Pick<TDataConnectionMode>(
      Value("DataConnection"), {{"active", TDataConnectionMode::Active}, {"passive", TDataConnectionMode::Passive}});
}

TFtpEncryption TExtendedSettings::Encryption() const {
  return Pick<TFtpEncryption>(Value("Encryption"), {{"none", TFtpEncryption::None},
                                                    {"explicit-if-available", TFtpEncryption::ExplicitIfAvailable},
                                                    {"explicit", TFtpEncryption::Explicit},
                                                    {"implicit", TFtpEncryption::Implicit}});
}

TPageEncoding TExtendedSettings::PageEncoding() const {
  return Pick<TPageEncoding>(
      Value("PageEncoding"),
      {{"shift_jis", TPageEncoding::ShiftJis}, {"auto", TPageEncoding::Auto}, {"utf-8", TPageEncoding::Utf8}});
}

TRemoteNameEncoding TExtendedSettings::RemoteNameEncoding() const {
  return Pick<TRemoteNameEncoding>(Value("RemoteNameEncoding"), {{"cp932", TRemoteNameEncoding::Cp932},
                                                                 {"auto", TRemoteNameEncoding::Auto},
                                                                 {"utf-8", TRemoteNameEncoding::Utf8}});
}

int TExtendedSettings::Connections() const { return Value("Connections")[0] - '0'; }

TReferenceMode TExtendedSettings::References() const {
  return Pick<TReferenceMode>(Value("References"),
                              {{"classic", TReferenceMode::Classic}, {"modern", TReferenceMode::Modern}});
}

TTransferProtocol TExtendedSettings::Protocol() const {
  return Pick<TTransferProtocol>(Value("Protocol"),
                                 {{"ftp", TTransferProtocol::Ftp}, {"sftp", TTransferProtocol::Sftp}});
}

}  // namespace tovra

namespace tovra {

TPasswordStore TExtendedSettings::PasswordStore() const {
  return Pick<TPasswordStore>(Value("PasswordStore"),
                              {{"file", TPasswordStore::File}, {"keyring", TPasswordStore::Keyring}});
}

}  // namespace tovra
