// TConfigFile: the configuration module that owns the settings component used
// for site profile files, re-targeted to one profile file at a time, and the
// mapping from a site name to its profile file. Not thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "sites/IniGT.h"

namespace tovra {

// The reserved site name of the new-site entry ("新規登録" in CP932). It never
// has a profile file and is the last entry of the site list.
inline constexpr std::string_view kNewSiteName = "\x90\x56\x8b\x4b\x93\x6f\x98\x5e";

// Profile files hold passwords in plain text: readable by their owner only.
inline constexpr unsigned kProfileFileMode = 0600;

// The application folder, the separator, the name with every "\" character
// replaced by "$~" (character-wise, so a 0x5C trail byte stays), ".txt".
std::string ProfileFileName(std::string_view siteName);

// Whether the site name can name a profile file in the application folder:
// a name holding the path separator would reach into another folder, and one
// holding CR, LF or NUL would split or cut its line in the site list, so such
// a site is neither saved nor deleted (the save fails with the write error).
bool IsProfileFileNameSafe(std::string_view siteName);

// The site's publish record beside its profile: the same name with
// ".publish" for ".txt". It follows the profile when the site is renamed or
// deleted.
std::string PublishRecordFileName(std::string_view siteName);

class TConfigFile {
 public:
  // The settings component as the module configures it: ddApplication,
  // fnNone (values stored without quote marks), new files mode 0600.
  TConfigFile();

  TIniGT IniGT;
};

}  // namespace tovra
