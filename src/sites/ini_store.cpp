#include "sites/ini_store.h"

#include "platform/files.h"
#include "platform/folder_lock.h"
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
  TChange change{std::string(section), std::string(key), std::string(value)};
  if (pending_) {
    pending_->Set(section, key, value);
    changes_.push_back(std::move(change));
    return;
  }
  Apply({change}, std::nullopt);
}

void TIniStore::Erase(std::string_view section, std::string_view key) {
  if (pending_) {
    pending_->Erase(section, key);
    changes_.push_back({std::string(section), std::string(key), std::nullopt});
    return;
  }
  if (path_.empty() || !FileExists(path_)) return;
  Apply({{std::string(section), std::string(key), std::nullopt}}, std::nullopt);
}

TIniDocument TIniStore::Snapshot() const {
  if (path_.empty() || !FileExists(path_)) return TIniDocument();
  try {
    return TIniDocument(ReadFileBytes(path_));
  } catch (const ETovraError&) {
    return TIniDocument();
  }
}

void TIniStore::BeginUpdate(std::optional<TIniDocument> base) {
  if (path_.empty()) throw EFileError::CannotWrite(path_);
  pending_ = LoadForWrite();
  changes_.clear();
  base_ = std::move(base);
}

TIniDocument TIniStore::EndUpdate() {
  if (!pending_) return TIniDocument();
  TIniDocument view = std::move(*pending_);
  std::vector<TChange> changes = std::move(changes_);
  std::optional<TIniDocument> base = std::move(base_);
  CancelUpdate();
  Apply(changes, base);
  return view;
}

void TIniStore::CancelUpdate() {
  pending_.reset();
  changes_.clear();
  base_.reset();
}

void TIniStore::Apply(const std::vector<TChange>& changes, const std::optional<TIniDocument>& base) {
  TFolderLock lock(ExtractFileDir(path_));
  const bool existed = PathExists(path_);
  TIniDocument document = LoadForWrite();
  bool changed = false;
  for (const auto& change : changes) {
    std::string was;
    const bool baseHeld = base && base->Find(change.section, change.key, was);
    // A file that is gone (or new) gets every value: nothing there to keep.
    if (base && existed && (change.value ? baseHeld && was == *change.value : !baseHeld)) continue;
    if (change.value) {
      document.Set(change.section, change.key, *change.value);
      changed = true;
    } else {
      changed = document.Erase(change.section, change.key) || changed;
    }
  }
  // An erase of a key the file does not hold leaves the file untouched.
  if (changed || !existed) Store(document);
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
