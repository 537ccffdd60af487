#include "sites/dmConfig.h"

#include "platform/app_folder.h"
#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {

std::string ProfileFileName(std::string_view siteName) {
  return JoinPath(AppFolder(), ReplaceAll(siteName, "\\", "$~") + ".txt");
}

std::string PublishRecordFileName(std::string_view siteName) {
  return JoinPath(AppFolder(), ReplaceAll(siteName, "\\", "$~") + ".publish");
}

bool IsProfileFileNameSafe(std::string_view siteName) {
  if (siteName.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  std::string_view text = siteName;
  for (std::size_t i = 0; i < text.size(); i += CharBytesAt(text, i)) {
    if (CharBytesAt(text, i) == 1 && text[i] == kPathSep) return false;
  }
  return true;
}

TConfigFile::TConfigFile() {
  IniGT.SetNewFileMode(kProfileFileMode);
  IniGT.SetDefaultDir(ddApplication);
  IniGT.SetFence(fnNone);
  IniGT.Loaded();
}

}  // namespace tovra
