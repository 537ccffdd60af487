#include "util/errors.h"

namespace tovra {

std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(format.size() + 64);
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd')) {
      if (arg != args.end()) out.append(*arg++);
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

EFileError EFileError::CannotOpen(const std::string& path, const std::string& reason) {
  return EFileError(path, FormatMessage("ファイル \"%s\". %s は開けません", {path, reason}));
}

EFileError EFileError::CannotWrite(const std::string& path) {
  return EFileError(path, FormatMessage("%s に書き込めません", {path}));
}

EListError::EListError(int index)
    : ETovraError(FormatMessage("リストのインデックスが範囲を超えています (%d)", {std::to_string(index)})) {}

EConvertError EConvertError::NotAnInteger(std::string_view text) {
  return EConvertError(FormatMessage("'%s' は整数ではありません", {text}));
}

}  // namespace tovra
