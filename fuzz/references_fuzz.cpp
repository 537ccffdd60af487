// libFuzzer over the modern reference collection: any bytes as a page (and,
// for every style sheet it names, as that style sheet, so @import chains and
// cycles are walked) must end, and every path it returns must be a clean URL
// path below the site root: beginning with "/", without "." or ".." pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "html/references.h"

namespace {

bool IsCleanPath(std::string_view path) {
  if (path.empty() || path[0] != '/') return false;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view piece = path.substr(start, end - start);
    if (piece == "." || piece == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  auto fetch = [&](const std::string&) -> std::optional<std::string> { return bytes; };
  for (tovra::TPageEncoding encoding : {tovra::TPageEncoding::Utf8, tovra::TPageEncoding::ShiftJis}) {
    for (const auto& r : tovra::CollectPageReferences(
             tovra::TPageSource{bytes, "/a/b/page.html", encoding, "http://example.com/"}, fetch)) {
      if (!r.outside && !IsCleanPath(r.path)) std::abort();
    }
  }
  return 0;
}
