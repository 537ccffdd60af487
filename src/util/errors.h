// Error types of the core. Every error is an exception carrying its text as a
// CP932 byte string (what()), ready for a message box or a status line.
// The network family (EIdException and kin) lives with the FTP client.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tovra {

// Base of the system's own errors.
class ETovraError : public std::runtime_error {
 public:
  explicit ETovraError(const std::string& message) : std::runtime_error(message) {}
};

// A file or folder that cannot be opened, read, written or created.
class EFileError : public ETovraError {
 public:
  EFileError(std::string path, const std::string& message) : ETovraError(message), path_(std::move(path)) {}
  // "ファイル "%s". %s は開けません": the path and the system's reason.
  static EFileError CannotOpen(const std::string& path, const std::string& reason);
  // "%s に書き込めません"
  static EFileError CannotWrite(const std::string& path);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// "リストのインデックスが範囲を超えています (%d)"
class EListError : public ETovraError {
 public:
  explicit EListError(int index);
};

// "'%s' は整数ではありません"
class EConvertError : public ETovraError {
 public:
  explicit EConvertError(const std::string& message) : ETovraError(message) {}
  static EConvertError NotAnInteger(std::string_view text);
};

// A name that cannot be converted between CP932 and the OS encoding.
class EEncodingError : public ETovraError {
 public:
  explicit EEncodingError(const std::string& message) : ETovraError(message) {}
};

// printf-style formatting of a CP932 message with %s and %d.
std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace tovra
