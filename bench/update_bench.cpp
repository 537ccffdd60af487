// Speed of the update check over a large site: the scan of 100 000 files in
// 2 000 folders (one in ten a page) beside `find` doing the same walk in the
// same run, and the comparison with a saved list of growing size, which must
// grow linearly.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "update/update_check.h"

namespace {

namespace fs = std::filesystem;
using namespace tovra;

constexpr int kTopFolders = 20;
constexpr int kSubFolders = 99;  // 20 + 20 * 99 = 2 000 folders
constexpr int kFilesPerFolder = 50;
constexpr int kPagesPerFolder = 5;  // .html, .htm and .swf files

// The generated tree, made once and removed at exit. TOVRA_BENCH_TREE names
// a folder to keep the tree in across runs (made when missing, never removed).
class Tree {
 public:
  Tree() {
    if (const char* kept = std::getenv("TOVRA_BENCH_TREE")) {
      root_ = kept;
      keep_ = true;
      if (fs::exists(root_)) return;
    } else {
      std::string pattern = (fs::temp_directory_path() / "tovra-bench-XXXXXX").string();
      root_ = ::mkdtemp(pattern.data());
    }
    for (int t = 0; t < kTopFolders; ++t) {
      fs::path top = fs::path(root_) / ("dir" + std::to_string(t));
      Fill(top);
      for (int s = 0; s < kSubFolders; ++s) Fill(top / ("sub" + std::to_string(s)));
    }
  }
  ~Tree() {
    if (!keep_) fs::remove_all(root_);
  }
  const std::string& Root() const { return root_; }

 private:
  void Fill(const fs::path& folder) {
    static const char* kPageExts[] = {".html", ".htm", ".HTML", ".swf", ".html"};
    static const char* kOtherExts[] = {".gif", ".jpg", ".css", ".js", ".png"};
    fs::create_directories(folder);
    for (int i = 0; i < kFilesPerFolder; ++i) {
      std::string name = "file" + std::to_string(i) + (i < kPagesPerFolder ? kPageExts[i % 5] : kOtherExts[i % 5]);
      std::ofstream(folder / name) << "x";
    }
  }
  std::string root_;
  bool keep_ = false;
};

const Tree& TheTree() {
  static Tree tree;
  return tree;
}

class OneSite : public ISiteProfiles {
 public:
  explicit OneSite(std::string root) : root_(std::move(root)) {}
  TStringList SiteNames() override { return {"bench", "新規登録"}; }
  std::string LoadRootDir(const std::string&) override { return root_; }

 private:
  std::string root_;
};

class NoMessenger : public IMessenger {
 public:
  void ShowMessage(TMessageKind, const std::string&) override {}
  bool ConfirmOkCancel(const std::string&) override { return true; }
  bool ConfirmOkAbort(const std::string&) override { return true; }
};

void BM_ScanSites(benchmark::State& state) {
  OneSite sites(TheTree().Root());
  THeadlessUpdateView view;
  NoMessenger messenger;
  TUpdateCheck check(sites, view, messenger, TheTree().Root() + ".list");
  for (auto _ : state) check.ScanSites();
  state.counters["pages"] = check.CurrentScan().Count() - 1;
}
BENCHMARK(BM_ScanSites)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FindCommand(benchmark::State& state) {
  const std::string command = "find '" + TheTree().Root() +
                              "' -type f \\( -iname '*.htm*' -o -iname '*.swf' \\) -printf '%T@ %p\\n' > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
  }
}
BENCHMARK(BM_FindCommand)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// CheckUpdates over the whole tree against a saved list of the same size, in
// which every tenth file is recorded with an older time.
void BM_CheckUpdates(benchmark::State& state) {
  OneSite sites(TheTree().Root());
  THeadlessUpdateView view;
  NoMessenger messenger;
  const std::string listPath = TheTree().Root() + ".list";
  TUpdateCheck check(sites, view, messenger, listPath);
  check.ScanSites();
  TStringsList saved;
  for (int i = 0; i < check.CurrentScan().Count(); ++i) {
    TStringList row = check.CurrentScan().RowAt(i);
    if (i % 10 == 5) row.Set(1, std::to_string(std::stoll(row[1]) - 1));
    saved.AddRow(row);
  }
  saved.SaveRows(listPath);
  for (auto _ : state) check.CheckUpdates();
  state.counters["changed"] = check.PendingUpdates().Count();
  std::remove(listPath.c_str());
}
BENCHMARK(BM_CheckUpdates)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The comparison alone (one FindRow per scanned row) for growing list sizes.
// Linear means the time per row ("per_row") stays flat apart from the memory
// hierarchy: once the lists outgrow the caches each lookup waits on memory.
// A FindRow that walked the list would cost N/2 comparisons per row.
void BM_CompareRows(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TStringsList scan, saved;
  for (int i = 0; i < n; ++i) {
    std::string path = "/home/user/web/dir" + std::to_string(i % 2000) + "/page" + std::to_string(i) + ".html";
    scan.AddPair(path, "829582501");
    saved.AddPair(i % 100 == 0 ? "/gone" + std::to_string(i) : path, i % 10 == 0 ? "829582500" : "829582501");
  }
  for (auto _ : state) {
    int changed = 0;
    for (int i = 0; i < scan.Count(); ++i) {
      int at = saved.FindRow(scan.RowAt(i)[0]);
      if (at == -1 || StrToInt(saved.RowAt(at)[1]) < StrToInt(scan.RowAt(i)[1])) ++changed;
    }
    benchmark::DoNotOptimize(changed);
  }
  state.counters["per_row"] =
      benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CompareRows)->RangeMultiplier(2)->Range(12500, 200000)->Unit(benchmark::kMillisecond);

}  // namespace
