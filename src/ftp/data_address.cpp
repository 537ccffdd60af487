#include "ftp/data_address.h"

#include <cctype>
#include <vector>

namespace tovra {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number at text[i..] (i advanced past it); nothing beyond max.
std::optional<int> NumberAt(const std::string& text, std::size_t& i, int max) {
  std::size_t start = i;
  long value = 0;
  while (i < text.size() && IsDigit(text[i])) {
    value = value * 10 + (text[i] - '0');
    if (value > max) return std::nullopt;
    ++i;
  }
  if (i == start) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

std::string EprtArgument(const std::string& address, std::uint16_t port) {
  const char* family = address.find(':') != std::string::npos ? "2" : "1";
  return std::string("|") + family + "|" + address + "|" + std::to_string(port) + "|";
}

std::optional<int> ParseEpsvReply(const std::string& text) {
  std::size_t open = text.find('(');
  if (open == std::string::npos || open + 1 >= text.size()) return std::nullopt;
  const char d = text[open + 1];
  // The delimiter is any printable character that is no digit.
  if (IsDigit(d) || static_cast<unsigned char>(d) < 33 || static_cast<unsigned char>(d) > 126) return std::nullopt;
  std::size_t i = open + 2;
  for (int field = 0; field < 2; ++field) {
    std::size_t next = text.find(d, i);
    if (next == std::string::npos) return std::nullopt;
    i = next + 1;
  }
  auto port = NumberAt(text, i, 65535);
  if (!port || *port == 0 || i >= text.size() || text[i] != d) return std::nullopt;
  return port;
}

std::optional<int> ParsePasvReply(const std::string& text) {
  // The six numbers start at the first digit (servers differ on brackets).
  std::size_t i = 0;
  while (i < text.size() && !IsDigit(text[i])) ++i;
  std::vector<int> numbers;
  while (numbers.size() < 6) {
    auto n = NumberAt(text, i, 255);
    if (!n) return std::nullopt;
    numbers.push_back(*n);
    if (numbers.size() == 6) break;
    if (i >= text.size() || text[i] != ',') return std::nullopt;
    ++i;
  }
  int port = numbers[4] * 256 + numbers[5];
  if (port == 0) return std::nullopt;
  return port;
}

}  // namespace tovra
