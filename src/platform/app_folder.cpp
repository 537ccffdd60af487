#include "platform/app_folder.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/encoding.h"
#include "platform/files.h"

namespace tovra {

std::string ExecutablePath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return FromOsPath(std::string_view(buffer, static_cast<std::size_t>(n)));
}

std::string AppFolder() {
  std::string folder;
  if (const char* over = std::getenv("TOVRA_APP_FOLDER"); over != nullptr && *over != '\0') {
    folder = FromOsPath(over);
  } else {
    folder = ExtractFileDir(ExecutablePath());
  }
  while (folder.size() > 1 && folder.back() == kPathSep) folder.pop_back();
  return folder;
}

}  // namespace tovra
