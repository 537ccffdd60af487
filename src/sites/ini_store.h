// One INI settings file on disk, read afresh on every lookup and replaced
// whole on every change (a temporary file renamed over it), so a failed write
// leaves the file as it was. Changes can be gathered into one replacement
// between BeginUpdate and EndUpdate. A store whose new files are for their
// owner alone narrows a file it replaces to that mode too. Not thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

  // Between these, writes change a copy in memory; EndUpdate writes it once.
  // CancelUpdate drops the copy. Reads see the copy.
  void BeginUpdate();
  void EndUpdate();
  void CancelUpdate() { pending_.reset(); }
  bool Updating() const { return pending_.has_value(); }

 private:
  // The file's current text as a document; an absent file is an empty one.
  TIniDocument LoadForWrite() const;
  void Store(const TIniDocument& document);

  std::string path_;
  unsigned newFileMode_;
  std::optional<TIniDocument> pending_;
};

}  // namespace tovra
