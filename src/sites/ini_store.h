// One INI settings file on disk, read afresh on every lookup and replaced
// whole on every change (a temporary file renamed over it), so a failed write
// leaves the file as it was. Changes can be gathered into one replacement
// between BeginUpdate and EndUpdate. A store whose new files are for their
// owner alone narrows a file it replaces to that mode too. Not thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sites/ini_document.h"

namespace tovra {

class TIniStore {
 public:
  // An empty path stands for no file: reads give defaults, writes fail.
  explicit TIniStore(std::string path = {}, unsigned newFileMode = 0644)
      : path_(std::move(path)), newFileMode_(newFileMode) {}

  const std::string& Path() const { return path_; }

  // The value of the key (see TIniDocument::Find), or def when the file, the
  // section or the key is absent or the file cannot be read.
  std::string Read(std::string_view section, std::string_view key, std::string_view def) const;

  // Stores the value, creating the file, the section and the key as needed.
  // Throws EFileError "%s に書き込めません" naming Path() when the texts
  // cannot be stored or the file cannot be written; the file is then unchanged.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // Takes the key out of the file (TIniDocument::Erase); a file without it
  // is left untouched. Throws as Write does when the file cannot be written.
  void Erase(std::string_view section, std::string_view key);

  // The file as it stands, read once; an absent or unreadable file gives an
  // empty document (as reads do).
  TIniDocument Snapshot() const;

  // Between these, writes change a copy in memory; EndUpdate writes it once.
  // CancelUpdate drops the copy. Reads see the copy.
  // Every change to the file is made under the lock of its folder on the file
  // as it stands then, so changes of other writers meanwhile stay. With a
  // base (the Snapshot this writer's values came from), a write that gives a
  // key the value base had, or erases a key base did not hold, changes
  // nothing: only what this writer changed reaches an existing file.
  // EndUpdate gives back this writer's view: the file as BeginUpdate read it
  // with the changes made (the base of its next update).
  void BeginUpdate(std::optional<TIniDocument> base = std::nullopt);
  TIniDocument EndUpdate();
  void CancelUpdate();
  bool Updating() const { return pending_.has_value(); }

 private:
  // One write (a value) or erase (none) of an update, in order.
  struct TChange {
    std::string section, key;
    std::optional<std::string> value;
  };
  // The file's current text as a document; an absent file is an empty one.
  TIniDocument LoadForWrite() const;
  void Store(const TIniDocument& document);
  // Under the folder's lock: the file as it stands with the changes made.
  void Apply(const std::vector<TChange>& changes, const std::optional<TIniDocument>& base);

  std::string path_;
  unsigned newFileMode_;
  std::optional<TIniDocument> pending_;
  std::vector<TChange> changes_;
  std::optional<TIniDocument> base_;
};

}  // namespace tovra
