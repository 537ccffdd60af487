#include "upload/publish_exclude.h"

#include "util/char_string.h"

namespace tovra {

namespace {

constexpr const char* kBuiltIn[] = {".git/",       ".svn/", ".hg/",  ".DS_Store",    "Thumbs.db",
                                    "desktop.ini", "*~",    "*.swp", ".tovra-part.*"};

std::string_view NameOf(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool GlobMatches(std::string_view glob, std::string_view text) {
  // Iterative with one point to go back to: the last "*" and where it stood.
  std::size_t g = 0, t = 0, starG = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    std::size_t n = CharBytesAt(text, t);
    if (g < glob.size() && glob[g] == '*') {
      starG = g++;
      starT = t;
      continue;
    }
    if (g < glob.size()) {
      std::size_t m = CharBytesAt(glob, g);
      bool one = m == 1 && glob[g] == '?' && !(n == 1 && text[t] == '/');
      if (one || glob.substr(g, m) == text.substr(t, n)) {
        g += m;
        t += n;
        continue;
      }
    }
    if (starG == std::string_view::npos || (CharBytesAt(text, starT) == 1 && text[starT] == '/')) return false;
    starT += CharBytesAt(text, starT);
    t = starT;
    g = starG + 1;
  }
  while (g < glob.size() && glob[g] == '*') ++g;
  return g == glob.size();
}

TPublishExclusions::TPublishExclusions(std::string_view patterns) {
  std::vector<std::string> all(std::begin(kBuiltIn), std::end(kBuiltIn));
  std::size_t start = 0;
  while (start <= patterns.size()) {
    std::size_t end = patterns.find(';', start);
    if (end == std::string_view::npos) end = patterns.size();
    std::string one = CharTrim(std::string(patterns.substr(start, end - start)));
    if (!one.empty()) all.push_back(one);
    start = end + 1;
  }
  for (auto& glob : all) {
    Pattern p;
    p.folder = glob.back() == '/';
    if (p.folder) glob.pop_back();
    while (!glob.empty() && glob.front() == '/') {
      glob.erase(0, 1);
      p.wholePath = true;
    }
    p.wholePath = p.wholePath || glob.find('/') != std::string::npos;
    p.glob = glob;
    if (!glob.empty()) patterns_.push_back(std::move(p));
  }
}

bool TPublishExclusions::Matches(std::string_view path, bool folder) const {
  for (const auto& p : patterns_) {
    if (p.folder && !folder) continue;
    if (GlobMatches(p.glob, p.wholePath ? path : NameOf(path))) return true;
  }
  return false;
}

bool TPublishExclusions::ExcludesFile(std::string_view path) const { return Matches(path, false); }
bool TPublishExclusions::ExcludesFolder(std::string_view path) const { return Matches(path, true); }

}  // namespace tovra
