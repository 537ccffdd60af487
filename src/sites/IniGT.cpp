#include "sites/IniGT.h"

#include <array>

#include "platform/app_folder.h"
#include "platform/files.h"
#include "util/char_string.h"
#include "util/messenger.h"
#include "util/number_text.h"

namespace tovra {

namespace {

// Where ddWindows places a bare name: the system's configuration folder.
constexpr std::string_view kSystemConfigFolder = "/etc";

constexpr std::string_view kOpenCorner = "\xA2";  // half-width corner brackets
constexpr std::string_view kCloseCorner = "\xA3";

bool HasFolderPart(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); i += CharBytesAt(name, i)) {
    if (CharBytesAt(name, i) == 1 && name[i] == kPathSep) return true;
  }
  return false;
}

struct PlacementKey {
  std::string_view suffix;
  int TWindowPlacement::*field;
};

constexpr std::array<PlacementKey, 8> kPlacementKeys{{
    {".Flags", &TWindowPlacement::flags},
    {".Show", &TWindowPlacement::showCmd},
    {".MaxX", &TWindowPlacement::maxX},
    {".MaxY", &TWindowPlacement::maxY},
    {".X", &TWindowPlacement::left},
    {".Y", &TWindowPlacement::top},
    {".XSize", &TWindowPlacement::right},
    {".YSize", &TWindowPlacement::bottom},
}};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view digits, std::int32_t& value) {
  std::uint64_t v = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<std::uint64_t>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  // Eight hexadecimal digits are a 32-bit pattern: 0xFFFFFFFF reads as -1.
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return true;
}

bool ParseDecimal(std::string_view text, std::int32_t& value) {
  auto v = tovra::ParseDecimal(text, INT32_MIN, INT32_MAX);
  if (v) value = static_cast<std::int32_t>(*v);
  return v.has_value();
}

}  // namespace

bool ParseIniNumber(std::string_view text, std::int32_t& value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return ParseHex(text.substr(2), value);
  return ParseDecimal(text, value);
}

std::string DefaultIniFileName(std::string_view executablePath) {
  std::string name = ExtractFileName(executablePath);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  name = CharLowerCase(name + ".INI");
  if (name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name;
}

void TIniGT::SetDefaultDir(TIniGTDefaultDir value) {
  defaultDir_ = value;
  Resolve();
}

void TIniGT::SetFileName(std::string name) {
  fileName_ = std::move(name);
  Resolve();
}

void TIniGT::SetNewFileMode(unsigned mode) {
  newFileMode_ = mode;
  store_ = TIniStore(store_.Path(), newFileMode_);
}

void TIniGT::Resolve() {
  std::string path;
  if (fileName_.empty() || HasFolderPart(fileName_)) {
    path = fileName_;
  } else if (defaultDir_ == ddApplication) {
    path = JoinPath(AppFolder(), fileName_);
  } else if (defaultDir_ == ddWindows) {
    path = JoinPath(kSystemConfigFolder, fileName_);
  } else {
    path = fileName_;
  }
  store_ = TIniStore(std::move(path), newFileMode_);
}

void TIniGT::SetFence(TIniGTFence value) {
  if (value != fence_ && designMode_ && fence_ == fnVer11Mode && designMessenger_ != nullptr) {
    designMessenger_->ShowMessage(
        TMessageKind::Warning,
        "fnVer11Mode以外の値にすると、TIniGTのVer1.0とVer1.1で書き込んだﾌｧｲﾙを正しく読めない事があります。");
  }
  fence_ = value;
  fenceUnset_ = false;
}

void TIniGT::Loaded() { Loaded(ExecutablePath()); }

void TIniGT::Loaded(std::string_view executablePath) {
  if (designMode_) {
    if (fenceUnset_) SetFence(fnVer11Mode);
    return;
  }
  if (fileName_.empty()) SetFileName(DefaultIniFileName(executablePath));
}

std::string TIniGT::ReadRaw(std::string_view section, std::string_view key, std::string_view def) const {
  return store_.Read(section, key, def);
}

void TIniGT::WriteRaw(std::string_view section, std::string_view key, std::string_view value) {
  store_.Write(section, key, value);
}

void TIniGT::EraseKey(std::string_view section, std::string_view key) { store_.Erase(section, key); }

std::string TIniGT::Quote(std::string_view value) const {
  switch (fence_) {
    case fnDoubleQuote:
      return std::string("\"").append(value).append("\"");
    case fnParenthesis:
    case fnVer11Mode:
      return std::string(kOpenCorner) + std::string(value) + std::string(kCloseCorner);
    case fnNone:
      break;
  }
  return std::string(value);
}

EIniValueError::EIniValueError(std::string_view key)
    : ETovraError(
          FormatMessage("%s の値は長すぎて保存できません (%d バイトまで)", {key, std::to_string(kIniMaxValueBytes)})) {}

std::string TIniGT::ReadValue(std::string_view section, std::string_view key, std::string_view def) const {
  return Unfence(ReadRaw(section, key, Quote(def)));
}

std::string TIniGT::Unfence(std::string r) const {
  if (r.size() < 2) return r;
  bool doubleQuotes = fence_ == fnDoubleQuote || fence_ == fnVer11Mode;
  bool corners = fence_ == fnParenthesis || fence_ == fnVer11Mode;
  // Bytes, not characters: the fence marks are single bytes.
  if (doubleQuotes && r.front() == '"' && r.back() == '"') return r.substr(1, r.size() - 2);
  if (corners && r.front() == kOpenCorner[0] && r.back() == kCloseCorner[0]) return r.substr(1, r.size() - 2);
  return r;
}

void TIniGT::WriteValue(std::string_view section, std::string_view key, std::string_view value) {
  std::string raw = Quote(value);
  if (Unfence(IniValueAsRead(raw)) != value) {
    // A read drops one pair of quote marks before anything else: a second
    // pair keeps the blanks and quote marks of the value itself.
    raw = "\"" + raw + "\"";
    if (Unfence(IniValueAsRead(raw)) != value) throw EIniValueError(key);
  }
  WriteRaw(section, key, raw);
}

bool TIniGT::ReadFlag(std::string_view section, std::string_view key, bool def) const {
  return ReadNumber(section, key, def ? 1 : 0) != 0;
}

void TIniGT::WriteFlag(std::string_view section, std::string_view key, bool value) {
  WriteRaw(section, key, value ? "1" : "0");
}

std::int32_t TIniGT::ReadNumber(std::string_view section, std::string_view key, std::int32_t def) const {
  std::int32_t value = 0;
  return ParseIniNumber(ReadRaw(section, key, ""), value) ? value : def;
}

void TIniGT::WriteNumber(std::string_view section, std::string_view key, std::int32_t value) {
  WriteRaw(section, key, std::to_string(value));
}

void TIniGT::LoadPlacement(std::string_view section, std::string_view prefix, TWindowPlacement& placement) const {
  for (const auto& k : kPlacementKeys) {
    placement.*k.field = ReadNumber(section, std::string(prefix) + std::string(k.suffix), placement.*k.field);
  }
}

void TIniGT::SavePlacement(std::string_view section, std::string_view prefix, const TWindowPlacement& placement) {
  // One file replacement for the eight keys, unless the caller gathers more.
  bool own = !store_.Updating();
  if (own) store_.BeginUpdate();
  try {
    for (const auto& k : kPlacementKeys) {
      WriteNumber(section, std::string(prefix) + std::string(k.suffix), placement.*k.field);
    }
  } catch (...) {
    if (own) store_.CancelUpdate();
    throw;
  }
  if (own) store_.EndUpdate();
}

}  // namespace tovra
