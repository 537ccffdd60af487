// The SHA-256 digest of a file's content, read in blocks so a large file
// never sits in memory whole. Thread-safe (no shared state).
#pragma once

#include <string>
#include <string_view>

namespace tovra {

// 64 lower-case hexadecimal digits. Reads regular files only
// (OpenRegularFile); errors are EFileError naming the path.
std::string FileSha256(std::string_view path);

}  // namespace tovra
