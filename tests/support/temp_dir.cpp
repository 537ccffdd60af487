#include "support/temp_dir.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/encoding.h"
#include "platform/files.h"

namespace tovra::test {

std::string BytesBelow(const std::string& folder, const std::string& cp932Relative) {
  std::ifstream in(ToOsPath(folder) + "/" + cp932Relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(ToOsPath(path).c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tovra-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) std::abort();
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Sub(std::string_view name) const { return JoinPath(path_, name); }

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
  std::string full = Sub(name);
  std::filesystem::create_directories(std::filesystem::path(ToOsPath(full)).parent_path());
  WriteFileAtomic(full, bytes);
  return full;
}

namespace {
// Tests find the source and build folders through the environment; CTest's
// per-test environment cannot carry both through test discovery, so the
// build's own folders are the defaults.
const bool kEnvironmentDefaults = [] {
  ::setenv("TOVRA_SOURCE_DIR", TOVRA_SOURCE_DIR_DEFAULT, 0);
  ::setenv("TOVRA_BINARY_DIR", TOVRA_BINARY_DIR_DEFAULT, 0);
  return true;
}();
}  // namespace

std::string SourceDir() {
  if (const char* dir = std::getenv("TOVRA_SOURCE_DIR")) return dir;
  return TOVRA_SOURCE_DIR_DEFAULT;
}

std::string Hex(std::string_view hex) {
  std::string out;
  int nibbles = 0;
  unsigned value = 0;
  for (char c : hex) {
    int v = (c >= '0' && c <= '9')   ? c - '0'
            : (c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                     : -1;
    if (v < 0) continue;
    value = value * 16 + static_cast<unsigned>(v);
    if (++nibbles == 2) {
      out.push_back(static_cast<char>(value));
      nibbles = 0;
      value = 0;
    }
  }
  return out;
}

TStringList Lines(std::string_view text) {
  TStringList list;
  list.SetText(text);
  return list;
}

void Age(const std::string& path) {
  std::filesystem::last_write_time(ToOsPath(path),
                                   std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365));
}

bool WrittenSinceAged(const std::string& path) {
  auto age = std::filesystem::file_time_type::clock::now() - std::filesystem::last_write_time(ToOsPath(path));
  return age < std::chrono::hours(24);
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

}  // namespace tovra::test
