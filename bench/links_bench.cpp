// Link extraction on big pages: ordinary short lines, one minified line, a
// Shift-JIS-heavy page, and a one-line page of twice the size (which must
// take about twice as long: the scan is linear); and UTF-8 pages of Japanese
// text, 50 MB and 100 MB, read as UTF-8 and with the encoding decided by the
// page (auto). Each run reads the page
// file, as the upload preparation does. The pages are generated at start
// into $TOVRA_BENCH_DIR when set (and kept there, e.g. for timing tovra-cli
// on them), otherwise into a temporary folder removed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "html/htmlanal.h"
#include "platform/files.h"
#include "util/string_list.h"

namespace {

constexpr std::size_t kMB = 1024 * 1024;

// One line of an ordinary page; `i` varies the names.
std::string OrdinaryLine(std::size_t i) {
  const std::string n = std::to_string(i % 997);
  switch (i % 4) {
    case 0:
      return "<tr><td class=\"item\"><a href=\"page" + n + ".html#top\">日記 " + n + "</a></td><td><img src=\"img/p" +
             n + ".gif\" width=\"16\" height=\"16\" alt=\"\"></td></tr>";
    case 1:
      return "<p>山あいの小さな町から、季節の便りをお届けしています。 Some plain text, item " + n + ".</p>";
    case 2:
      return "<td style=\"background-image:url(bg/tile" + n + ".png)\"><a href=\"http://example.jp/\">link</a></td>";
    default:
      return "  <li><a HREF='diary/" + n + ".htm?x=1'>秋の山歩き</a> <span class=\"date\">2026-12-08</span></li>";
  }
}

// Japanese text of double-byte characters, many with 0x5C and '<'-range
// trail bytes, with a tag now and then.
std::string ShiftJisLine(std::size_t i) {
  std::string line = "<p>";
  for (std::size_t k = 0; k < 60; ++k) {
    const unsigned lead = 0x81 + (i * 7 + k) % 0x1F;
    const unsigned trail = 0x40 + (i * 13 + k * 5) % 0xBD;
    line += static_cast<char>(lead);
    line += static_cast<char>(trail == 0x7F ? 0x5C : trail);
  }
  line += "</p>";
  if (i % 8 == 0) line += "<img src=\"写真/表紙" + std::to_string(i % 100) + ".jpg\" alt=\"表紙\">";
  return line;
}

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Japanese text in UTF-8: kana and kanji (whose last bytes fall in the
// Shift-JIS lead range), with a picture in a Japanese folder now and then.
std::string Utf8Line(std::size_t i) {
  std::string line = "<p>";
  for (std::size_t k = 0; k < 60; ++k) {
    const unsigned cp = k % 3 == 0 ? 0x3041 + (i * 7 + k) % 83 : 0x4E00 + (i * 131 + k * 17) % 0x5000;
    AppendUtf8(line, cp);
  }
  line += "</p>";
  if (i % 8 == 0) {
    line += reinterpret_cast<const char*>(u8"<img src=\"写真/表紙") + std::to_string(i % 100) +
            reinterpret_cast<const char*>(u8".jpg\" alt=\"表紙\">");
  }
  return line;
}

std::string MakePage(std::size_t size, std::string (*line)(std::size_t), const char* separator) {
  std::string page;
  page.reserve(size + 512);
  for (std::size_t i = 0; page.size() < size; ++i) {
    page += line(i);
    page += separator;
  }
  return page;
}

struct Pages {
  std::string folder;
  bool keep = false;
  std::string lines50, oneLine50, shiftJis50, oneLine100, utf8_50, utf8_100;

  Pages() {
    if (const char* dir = std::getenv("TOVRA_BENCH_DIR")) {
      folder = dir;
      keep = true;
      std::filesystem::create_directories(folder);
    } else {
      folder = (std::filesystem::temp_directory_path() / ("tovra-bench-" + std::to_string(::getpid()))).string();
      std::filesystem::create_directories(folder);
    }
    lines50 = Write("lines50.html", MakePage(50 * kMB, OrdinaryLine, "\r\n"));
    oneLine50 = Write("oneline50.html", MakePage(50 * kMB, OrdinaryLine, ""));
    shiftJis50 = Write("sjis50.html", MakePage(50 * kMB, ShiftJisLine, "\r\n"));
    oneLine100 = Write("oneline100.html", MakePage(100 * kMB, OrdinaryLine, ""));
    utf8_50 = Write("utf8_50.html", MakePage(50 * kMB, Utf8Line, "\r\n"));
    utf8_100 = Write("utf8_100.html", MakePage(100 * kMB, Utf8Line, "\r\n"));
  }
  ~Pages() {
    if (!keep) std::filesystem::remove_all(folder);
  }
  std::string Write(const char* name, const std::string& bytes) {
    const std::string path = tovra::JoinPath(folder, name);
    tovra::WriteFileAtomic(path, bytes);
    return path;
  }
};

const Pages& GetPages() {
  static const Pages pages;
  return pages;
}

void Extract(benchmark::State& state, const std::string& path,
             tovra::TPageEncoding encoding = tovra::TPageEncoding::ShiftJis) {
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  std::size_t found = 0;
  for (auto _ : state) {
    tovra::TStringList links;
    tovra::ExtractLinks(links, path, encoding);
    found = static_cast<std::size_t>(links.Count());
    benchmark::DoNotOptimize(links);
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["links"] = static_cast<double>(found);
}

void BM_ExtractLinks_ShortLines50MB(benchmark::State& state) { Extract(state, GetPages().lines50); }
void BM_ExtractLinks_OneLine50MB(benchmark::State& state) { Extract(state, GetPages().oneLine50); }
void BM_ExtractLinks_ShiftJis50MB(benchmark::State& state) { Extract(state, GetPages().shiftJis50); }
void BM_ExtractLinks_OneLine100MB(benchmark::State& state) { Extract(state, GetPages().oneLine100); }

void BM_ExtractLinks_Utf8_50MB(benchmark::State& state) {
  Extract(state, GetPages().utf8_50, tovra::TPageEncoding::Utf8);
}
void BM_ExtractLinks_Utf8_100MB(benchmark::State& state) {
  Extract(state, GetPages().utf8_100, tovra::TPageEncoding::Utf8);
}
void BM_ExtractLinks_Utf8Auto_50MB(benchmark::State& state) {
  Extract(state, GetPages().utf8_50, tovra::TPageEncoding::Auto);
}
void BM_ExtractLinks_Utf8Auto_100MB(benchmark::State& state) {
  Extract(state, GetPages().utf8_100, tovra::TPageEncoding::Auto);
}

BENCHMARK(BM_ExtractLinks_ShortLines50MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractLinks_OneLine50MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractLinks_ShiftJis50MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractLinks_OneLine100MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractLinks_Utf8_50MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractLinks_Utf8_100MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractLinks_Utf8Auto_50MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractLinks_Utf8Auto_100MB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
