#include "cli/cli_common.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

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

namespace {

const TOption* FindOption(const TSyntax& syntax, std::string_view name) {
  for (const auto& option : syntax.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::string Shown(const TOption& option) {
  return option.value == nullptr ? option.name : std::string(option.name) + " " + option.value;
}

}  // namespace

const std::pair<std::string, std::string>* TParsedArgs::Find(std::string_view name) const {
  if (FindOption(syntax_, name) == nullptr) {
    throw std::logic_error(std::string(syntax_.words) + ": " + std::string(name) + " is not in the option table");
  }
  for (const auto& given : given_) {
    if (given.first == name) return &given;
  }
  return nullptr;
}

bool TParsedArgs::Has(std::string_view name) const { return Find(name) != nullptr; }

std::string TParsedArgs::Value(std::string_view name) const {
  const auto* given = Find(name);
  return given == nullptr ? std::string() : given->second;
}

TParsedArgs ParseArgs(const TSyntax& syntax, const Args& args) {
  TParsedArgs parsed(syntax);
  bool optionsEnd = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      parsed.operands_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    const TOption* option = FindOption(syntax, arg);
    if (option == nullptr) throw UsageError{"unknown option " + arg, UsageOf(syntax)};
    if (parsed.Has(arg)) throw UsageError{arg + " is given more than once", UsageOf(syntax)};
    std::string value;
    if (option->value != nullptr) {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value", UsageOf(syntax)};
      value = args[++i];
    }
    parsed.given_.emplace_back(arg, std::move(value));
  }
  for (const auto& option : syntax.options) {
    if (!option.required) continue;
    if (!parsed.Has(option.name) || (option.value != nullptr && parsed.Value(option.name).empty())) {
      throw UsageError{Shown(option) + " is required", UsageOf(syntax)};
    }
  }
  return parsed;
}

std::string UsageOf(const TSyntax& syntax) {
  constexpr std::size_t kHelpColumn = 30;
  std::string text = std::string("  ") + syntax.words;
  bool optional = false;
  for (const auto& option : syntax.options) {
    if (option.required) {
      text += " " + Shown(option);
    } else {
      optional = true;
    }
  }
  if (optional) text += " [OPTION...]";
  if (*syntax.operands != '\0') text += std::string(" ") + syntax.operands;
  std::string_view description = syntax.description;
  while (!description.empty()) {
    const std::size_t end = std::min(description.find('\n'), description.size());
    text += "\n      ";
    text += description.substr(0, end);
    description.remove_prefix(std::min(end + 1, description.size()));
  }
  for (const auto& option : syntax.options) {
    std::string line = "        " + Shown(option);
    if (*option.help != '\0') {
      // A long option has its help on the next line, in the same column.
      if (line.size() + 2 > kHelpColumn) {
        text += "\n" + line;
        line.clear();
      }
      line += std::string(kHelpColumn - line.size(), ' ') + option.help;
    }
    text += "\n" + line;
  }
  return text;
}

std::string UsageOf(std::initializer_list<const TSyntax*> forms) {
  std::string text;
  for (const TSyntax* form : forms) {
    if (!text.empty()) text += '\n';
    text += UsageOf(*form);
  }
  return text;
}

std::string AbsoluteFromHere(const std::string& path) {
  if (!path.empty() && path[0] == kPathSep) return path;
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return path;
  return JoinPath(FromOsPath(buffer), path);
}

TPageEncoding PageEncodingOf(const TParsedArgs& args) {
  const std::string value = args.Value("--page-encoding");
  TExtendedSettings settings;
  if (!value.empty()) settings.Set("PageEncoding", value);
  return settings.PageEncoding();
}

}  // namespace tovra::cli
