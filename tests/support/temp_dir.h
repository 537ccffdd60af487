// A temporary folder for one test, removed with everything in it afterwards,
// and small helpers for the fixtures tests put in it. For one test thread.
#pragma once

#include <string>
#include <string_view>

#include "support/scoped_env.h"
#include "util/string_list.h"

namespace tovra::test {

// The permission bits of a file or folder (CP932 path); 0 when it is not there.
unsigned ModeOf(const std::string& path);
// The bytes of a file below a folder, by its CP932 path relative to it; empty when it is not there.
std::string BytesBelow(const std::string& folder, const std::string& cp932Relative);
// UTF-8 text as bytes.
inline std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // CP932 path of the folder (ASCII in practice).
  const std::string& Path() const { return path_; }
  // Path of `name` (CP932, may hold separators) inside the folder.
  std::string Sub(std::string_view name) const;
  // Writes bytes to Sub(name), creating the folders on the way.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

// A temporary folder that is the application folder (TOVRA_APP_FOLDER) of
// the test process while it lives.
class TempAppFolder : public TempDir {
 public:
  TempAppFolder() : appFolder_("TOVRA_APP_FOLDER", Path()) {}

 private:
  ScopedEnv appFolder_;  // restores the variable as it was
};

// A loopback TCP port that was free a moment ago; a server started on it
// may still lose it to another test, so a start is tried again with a fresh one.
int FreePort();

// Where the source tree is (for fixtures such as demo/site).
std::string SourceDir();

// Decodes "83 41 61" style hex into bytes, for raw Shift-JIS fixtures.
std::string Hex(std::string_view hex);

// The lines of a text, as the file functions read them.
TStringList Lines(std::string_view text);

// Sets the file's modification time a year back, so that a later write shows
// in WrittenSinceAged.
void Age(const std::string& path);
bool WrittenSinceAged(const std::string& path);

}  // namespace tovra::test
