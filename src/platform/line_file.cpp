#include "platform/line_file.h"

#include "platform/files.h"

namespace tovra {

TStringList LoadLines(std::string_view path) {
  TStringList list;
  list.SetText(ReadFileBytes(path));
  return list;
}

bool LoadLinesIfExists(std::string_view path, TStringList& list) {
  if (!FileExists(path)) return false;
  list = LoadLines(path);
  return true;
}

void SaveLines(std::string_view path, const TStringList& list, unsigned mode) {
  WriteFileAtomic(path, list.Text(), mode);
}

}  // namespace tovra
