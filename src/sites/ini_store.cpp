#include "sites/ini_store.h"

#include "platform/files.h"
#include "util/errors.h"

namespace tovra {

std::string TIniStore::Read(std::string_view section, std::string_view key, std::string_view def) const {
  std::string value;
  if (pending_) return pending_->Find(section, key, value) ? value : std::string(def);
  if (path_.empty() || !FileExists(path_)) return std::string(def);
  try {
    TIniDocument document(ReadFileBytes(path_));
    if (document.Find(section, key, value)) return value;
  } catch (const ETovraError&) {
    // Reads never fail: an unreadable file reads like an absent one.
  }
  return std::string(def);
}

void TIniStore::Write(std::string_view section, std::string_view key, std::string_view value) {
  if (path_.empty() || !IsStorableIniText(section, key, value)) throw EFileError::CannotWrite(path_);
  if (pending_) {
    pending_->Set(section, key, value);
    return;
  }
  TIniDocument document = LoadForWrite();
  document.Set(section, key, value);
  Store(document);
}

void TIniStore::Erase(std::string_view section, std::string_view key) {
  if (pending_) {
    pending_->Erase(section, key);
    return;
  }
  if (path_.empty() || !FileExists(path_)) return;
  TIniDocument document = LoadForWrite();
  if (document.Erase(section, key)) Store(document);
}

void TIniStore::BeginUpdate() {
  if (path_.empty()) throw EFileError::CannotWrite(path_);
  pending_ = LoadForWrite();
}

void TIniStore::EndUpdate() {
  if (!pending_) return;
  TIniDocument document = std::move(*pending_);
  pending_.reset();
  Store(document);
}

TIniDocument TIniStore::LoadForWrite() const {
  if (!PathExists(path_)) return TIniDocument();
  try {
    return TIniDocument(ReadFileBytes(path_));
  } catch (const ETovraError&) {
    // Replacing a file that cannot be read would lose its other keys.
    throw EFileError::CannotWrite(path_);
  }
}

void TIniStore::Store(const TIniDocument& document) {
  try {
    // Files made for their owner alone (profiles hold passwords) stay so.
    const bool ownerOnly = (newFileMode_ & 077) == 0;
    WriteFileAtomic(path_, document.Text(), newFileMode_, ownerOnly ? TReplacedMode::Narrowed : TReplacedMode::Kept);
  } catch (const ETovraError&) {
    throw EFileError::CannotWrite(path_);
  }
}

}  // namespace tovra
