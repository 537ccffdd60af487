// TExtendedSettings: the keys of a site profile's section "[拡張設定]"
// (data connection, encryption, certificate and host key pins, encodings,
// connection reuse and count, protocol, private key file, where the
// passwords are kept, reference collection, the check at the public address
// after each run, atomic stores, publish exclusions). A key that the
// profile does not hold stays absent, and an absent key means the program's
// long-standing behaviour (one active-mode connection per file, no
// encryption, Shift-JIS pages, CP932 names); the typed accessors give that
// value. Only keys that were read or set are written back, so a profile
// without the section is saved without it. A plain value; not thread-safe.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "util/errors.h"
#include "util/ftp_encryption.h"
#include "util/text_encodings.h"

namespace tovra {

class TIniGT;

// The section name in the profile file.
inline constexpr char kExtendedSection[] = "拡張設定";

enum class TDataConnectionMode { Active, Passive };
enum class TTransferProtocol { Ftp, Sftp };
// Where a site's passwords are kept: in its profile file, or in the
// desktop's keyring (the profile's password keys then stay empty).
enum class TPasswordStore { File, Keyring };
// Which references of a page travel with it: Classic, the long-standing link
// scan; Modern, what a browser loads to show the page.
enum class TReferenceMode { Classic, Modern };

// A key of the section given a value it does not accept, or a name that is
// no key of the section. The text names the key.
class EExtendedSettingError : public ETovraError {
 public:
  // "拡張設定 KEY の値が正しくありません: VALUE (ACCEPTS)"
  static EExtendedSettingError BadValue(std::string_view key, std::string_view value);
  // "拡張設定 に KEY というキーはありません"
  static EExtendedSettingError UnknownKey(std::string_view key);
  const std::string& Key() const { return key_; }

 private:
  EExtendedSettingError(std::string key, const std::string& message) : ETovraError(message), key_(std::move(key)) {}
  std::string key_;
};

// One key of the section: its name, the value an absent key stands for, the
// value a site created in the window starts with (nullptr: none), and the
// values it accepts in words (for help texts).
struct TExtendedKey {
  const char* name;
  const char* absent;
  const char* newSite;
  const char* accepts;
};

inline constexpr std::size_t kExtendedKeyCount = 15;

class TExtendedSettings {
 public:
  // Every key, in the order they are written to the profile file.
  static const std::array<TExtendedKey, kExtendedKeyCount>& Keys();
  // The values a site created in the window starts with, written out
  // explicitly. PasswordStore has none here: whether a keyring answers is
  // known only when the site is made.
  static TExtendedSettings NewSiteDefaults();

  // The stored value, or nothing when the key is absent. Throws
  // EExtendedSettingError for a name that is not a key of the section.
  std::optional<std::string> Stored(std::string_view key) const;
  // The stored value, or what an absent key stands for.
  std::string Value(std::string_view key) const;
  // Checks and stores the value in its canonical spelling (the names of
  // choices in lower case, hexadecimal digits in upper case). Throws
  // EExtendedSettingError naming the key when it does not accept the value;
  // the settings are then unchanged.
  void Set(std::string_view key, std::string_view value);
  // Makes the key absent again.
  void Clear(std::string_view key);
  bool Empty() const;

  // Reads the section from the settings component's current file: keys that
  // are missing, empty or hold a value the key does not accept are absent;
  // the text of a value not accepted is kept as Unreadable.
  void Load(const TIniGT& ini);
  // The stored text of the key when Load could not read it (a misspelt or
  // another version's value); nothing otherwise. Set and Clear forget it.
  std::optional<std::string> Unreadable(std::string_view key) const;
  // Whether a connection may go on with the key's absent behaviour when its
  // stored value cannot be read: false where that would weaken it (no
  // encryption, another protocol, no key file).
  static bool AbsentIsSafe(std::string_view key);
  // Writes the keys that are present. An absent key is not written, and a
  // value of it in the file that Load would read is taken out, so that Load
  // gives these settings back; a value Load passes over stays as it was.
  void Save(TIniGT& ini) const;

  TDataConnectionMode DataConnection() const;
  TFtpEncryption Encryption() const;
  std::string CertificateSha256() const { return Value("CertificateSha256"); }
  TPageEncoding PageEncoding() const;
  TRemoteNameEncoding RemoteNameEncoding() const;
  bool ReuseConnection() const { return Value("ReuseConnection") == "1"; }
  int Connections() const;
  TTransferProtocol Protocol() const;
  std::string HostKeySha256() const { return Value("HostKeySha256"); }
  std::string PrivateKeyFile() const { return Value("PrivateKeyFile"); }
  TPasswordStore PasswordStore() const;
  TReferenceMode References() const;
  // Whether each completed run is followed by the check at the public address.
  bool VerifyAfterUpload() const { return Value("VerifyAfterUpload") == "1"; }
  // Every store goes under a temporary name and is renamed over its target.
  bool AtomicUpload() const { return Value("AtomicUpload") == "1"; }
  // Glob patterns a publish leaves out, separated by ";".
  std::string PublishExclude() const { return Value("PublishExclude"); }

  // The values alone: what a file held that could not be read is no value.
  bool operator==(const TExtendedSettings& other) const { return values_ == other.values_; }

 private:
  std::array<std::optional<std::string>, kExtendedKeyCount> values_;
  std::array<std::optional<std::string>, kExtendedKeyCount> unreadable_;
};

// The key's value in canonical spelling, or nothing when the key does not
// accept it. Throws EExtendedSettingError for an unknown key.
std::optional<std::string> NormalizeExtendedValue(std::string_view key, std::string_view value);

}  // namespace tovra
