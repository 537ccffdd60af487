// TIniGT: the settings file component. Reads and writes one INI file whose
// bare name is placed in a chosen folder, optionally fences string values in
// quote marks, and keeps a window's placement as eight integer keys.
// Not thread-safe; used on the UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sites/ini_store.h"
#include "util/errors.h"

namespace tovra {

class IMessenger;

enum TIniGTDefaultDir { ddApplication = 0, ddWindows = 1, ddNone = 2 };
enum TIniGTFence { fnDoubleQuote = 0, fnParenthesis = 1, fnVer11Mode = 2, fnNone = 3 };

// A window's placement as the eight stored integers (key suffix in brackets).
struct TWindowPlacement {
  int flags = 0;    // [.Flags]
  int showCmd = 0;  // [.Show] 1 normal, 2 minimized, 3 maximized
  int maxX = 0;     // [.MaxX] maximized position
  int maxY = 0;     // [.MaxY]
  int left = 0;     // [.X] normal rectangle
  int top = 0;      // [.Y]
  int right = 0;    // [.XSize] a coordinate, not a width
  int bottom = 0;   // [.YSize] a coordinate, not a height
  bool operator==(const TWindowPlacement&) const = default;
};

// A value that the settings file could not give back as it was written (too
// long for a read); the text names the key, never the value.
class EIniValueError : public ETovraError {
 public:
  explicit EIniValueError(std::string_view key);
};

class TIniGT {
 public:
  TIniGT() = default;

  TIniGTDefaultDir DefaultDir() const { return defaultDir_; }
  // Stores the value and resolves the current FileName again.
  void SetDefaultDir(TIniGTDefaultDir value);
  // The name as assigned, not the resolved path.
  const std::string& FileName() const { return fileName_; }
  // Stores the name and binds the component to its resolved path. Nothing is
  // read or created until the first read or write.
  void SetFileName(std::string name);
  const std::string& ResolvedPath() const { return store_.Path(); }

  TIniGTFence Fence() const { return fence_; }
  void SetFence(TIniGTFence value);
  bool FenceUnset() const { return fenceUnset_; }

  // Design mode exists only for a form designer; the program runs with it off.
  bool DesignMode() const { return designMode_; }
  void SetDesignMode(bool on) { designMode_ = on; }
  // Where the design-mode warning about leaving fnVer11Mode is shown.
  void SetDesignMessenger(IMessenger* messenger) { designMessenger_ = messenger; }

  // Mode of a settings file that a write creates (an existing file keeps its own).
  void SetNewFileMode(unsigned mode);

  // Runs once after the owner has set the properties: picks the default file
  // name from the executable's name (outside design mode, when FileName is empty).
  void Loaded();
  void Loaded(std::string_view executablePath);

  std::string ReadRaw(std::string_view section, std::string_view key, std::string_view def) const;
  // Throws EFileError "%s に書き込めません" with the resolved path on failure.
  void WriteRaw(std::string_view section, std::string_view key, std::string_view value);
  std::string ReadValue(std::string_view section, std::string_view key, std::string_view def) const;
  // Stores the value so that ReadValue gives it back exactly: fenced as set,
  // and in double quote marks besides when blanks or quote marks at its ends
  // would otherwise be taken off by the read (files already written read as
  // before). Throws EIniValueError naming the key when no stored text reads
  // back as the value (one over kIniMaxValueBytes), and the write errors of
  // WriteRaw.
  void WriteValue(std::string_view section, std::string_view key, std::string_view value);
  // Takes the key out of the file; throws as WriteRaw does.
  void EraseKey(std::string_view section, std::string_view key);
  bool ReadFlag(std::string_view section, std::string_view key, bool def) const;
  void WriteFlag(std::string_view section, std::string_view key, bool value);
  // Decimal, or hexadecimal after "0x"/"0X"; def for anything else.
  std::int32_t ReadNumber(std::string_view section, std::string_view key, std::int32_t def) const;
  void WriteNumber(std::string_view section, std::string_view key, std::int32_t value);

  // Keys missing from the file leave the matching fields of placement as they are.
  void LoadPlacement(std::string_view section, std::string_view prefix, TWindowPlacement& placement) const;
  void SavePlacement(std::string_view section, std::string_view prefix, const TWindowPlacement& placement);

  // The file as it stands (TIniStore::Snapshot).
  TIniDocument Snapshot() const { return store_.Snapshot(); }
  // Gathers the writes until EndUpdate into one replacement of the file, so
  // that a group of keys is stored whole or not at all; with a base, only the
  // keys changed since that snapshot (TIniStore::BeginUpdate).
  void BeginUpdate(std::optional<TIniDocument> base = std::nullopt) { store_.BeginUpdate(std::move(base)); }
  TIniDocument EndUpdate() { return store_.EndUpdate(); }
  void CancelUpdate() { store_.CancelUpdate(); }

 private:
  void Resolve();
  std::string Quote(std::string_view value) const;
  // The value with this component's fence taken off, as ReadValue does.
  std::string Unfence(std::string raw) const;

  TIniGTDefaultDir defaultDir_ = ddApplication;
  std::string fileName_;
  TIniGTFence fence_ = fnNone;
  bool fenceUnset_ = true;
  bool designMode_ = false;
  IMessenger* designMessenger_ = nullptr;
  unsigned newFileMode_ = 0644;
  TIniStore store_;
};

// The default settings file name for an executable: its name with the
// extension ".ini", lower-cased, the first letter upper-cased (UPLOADER.EXE
// gives Uploader.ini, 2GO.EXE gives 2go.ini).
std::string DefaultIniFileName(std::string_view executablePath);

// Parses the text as ReadNumber does; false when it is no 32-bit integer.
bool ParseIniNumber(std::string_view text, std::int32_t& value);

// Writes the component's changes as one file replacement; the changes are
// dropped unless Commit is reached.
class TIniUpdate {
 public:
  explicit TIniUpdate(TIniGT& ini, std::optional<TIniDocument> base = std::nullopt) : ini_(ini) {
    ini_.BeginUpdate(std::move(base));
  }
  ~TIniUpdate() {
    if (!done_) ini_.CancelUpdate();
  }
  TIniUpdate(const TIniUpdate&) = delete;
  TIniUpdate& operator=(const TIniUpdate&) = delete;
  // This writer's view of the file (TIniStore::EndUpdate).
  TIniDocument Commit() {
    done_ = true;
    return ini_.EndUpdate();
  }

 private:
  TIniGT& ini_;
  bool done_ = false;
};

}  // namespace tovra
