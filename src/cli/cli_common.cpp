#include "cli/cli_common.h"

#include <unistd.h>

#include <cstdio>

#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/extended_settings.h"
#include "util/char_string.h"

namespace tovra::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  static bool registered = false;
  if (!registered) {
    registered = true;
    RegisterLinkCommands();
    RegisterSiteCommands();
    RegisterFtpCommands();
    RegisterSftpCommands();
    RegisterRewriteCommands();
    RegisterUploadCommands();
    RegisterPublishCommand();
    RegisterUpdateCommands();
    RegisterWhereCommand();
    RegisterVerifyCommand();
  }
  return commands;
}

std::string EscapeControls(std::string_view cp932) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(cp932.size());
  std::size_t i = 0;
  while (i < cp932.size()) {
    const std::size_t n = CharBytesAt(cp932, i);
    const auto c = static_cast<unsigned char>(cp932[i]);
    // A trail byte is never below 0x40, so only single-byte characters can
    // be control characters.
    // The CR of a CR LF line end (server replies end each line so) belongs
    // to the line end, not to the text.
    if (c == '\r' && i + 1 < cp932.size() && cp932[i + 1] == '\n') {
      ++i;
      continue;
    }
    if (n == 1 && (c < 0x20 || c == 0x7f) && c != '\t' && c != '\n') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0f];
    } else {
      out.append(cp932.substr(i, n));
    }
    i += n;
  }
  return out;
}

namespace {

// A text that already ends its last line (a server refusal does) is not
// followed by an empty one.
void WriteLine(std::string_view cp932, std::FILE* stream) {
  std::string text = ToTerminal(EscapeControls(cp932));
  if (text.empty() || text.back() != '\n') text += '\n';
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

void PrintLine(std::string_view cp932) { WriteLine(cp932, stdout); }

void PrintError(std::string_view cp932) { WriteLine(cp932, stderr); }

std::string TakeOption(Args& args, std::string_view name) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != name) continue;
    if (i + 1 >= args.size()) throw UsageError{std::string(name) + " needs a value"};
    std::string value = args[i + 1];
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return value;
  }
  return {};
}

bool TakeFlag(Args& args, std::string_view name) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

std::string AbsoluteFromHere(const std::string& path) {
  if (!path.empty() && path[0] == kPathSep) return path;
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return path;
  return JoinPath(FromOsPath(buffer), path);
}

TPageEncoding TakePageEncoding(Args& args) {
  const std::string value = TakeOption(args, "--page-encoding");
  TExtendedSettings settings;
  if (!value.empty()) settings.Set("PageEncoding", value);
  return settings.PageEncoding();
}

}  // namespace tovra::cli
