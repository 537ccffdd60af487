#include "upload/support_files.h"

#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"

namespace tovra {

std::string PathInFolder(std::string_view folder, std::string_view name) {
  return folder.empty() ? std::string(name) : JoinPath(folder, name);
}

bool CopySupportFile(std::string_view folder, std::string_view name, TCopyMode mode) {
  std::string target = PathInFolder(folder, name);
  if (FileExists(target)) return false;
  std::string source = JoinPath(AppFolder(), name);
  if (mode == TCopyMode::ExactBytes) {
    CopyFileBytes(source, target);
  } else {
    SaveLines(target, LoadLines(source));
  }
  return true;
}

}  // namespace tovra
