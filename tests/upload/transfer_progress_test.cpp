#include "upload/transfer_progress.h"

#include <gtest/gtest.h>

namespace tovra {
namespace {

struct Step {
  char kind;  // 'b' bytes of an attempt, 'd' file done, 'f' finish
  std::size_t index;
  std::int64_t count;
};

TEST(ProgressMeter, CountsNeverGoBackAndEndAtTheTotals) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::int64_t bytesAfter;  // bytesDone of the last event
    int filesAfter;
  } cases[] = {
      {"plain", {{'b', 0, 40}, {'b', 0, 100}, {'d', 0, 0}, {'d', 1, 0}, {'f', 0, 0}}, 150, 2},
      // A retry starts its count at zero again: only bytes past the first try count.
      {"retry", {{'b', 0, 80}, {'b', 0, 30}, {'b', 0, 90}, {'d', 0, 0}, {'f', 0, 0}}, 100, 1},
      // A file grown since planning counts no further than its planned size.
      {"grown", {{'b', 1, 500}, {'d', 1, 0}}, 50, 1},
      // Done twice, or bytes after done, change nothing.
      {"repeated", {{'d', 0, 0}, {'d', 0, 0}, {'b', 0, 7}}, 100, 1},
      // An unknown index is ignored.
      {"unknown", {{'b', 9, 5}, {'d', 9, 0}}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TTransferProgress> events;
    TProgressMeter meter({100, 50}, [&](const TTransferProgress& p) { events.push_back(p); });
    for (const auto& step : c.steps) {
      if (step.kind == 'b') meter.FileBytes(step.index, step.count);
      if (step.kind == 'd') meter.FileDone(step.index);
      if (step.kind == 'f') meter.Finish();
    }
    for (std::size_t i = 1; i < events.size(); ++i) {
      EXPECT_GE(events[i].bytesDone, events[i - 1].bytesDone);
      EXPECT_GE(events[i].filesDone, events[i - 1].filesDone);
    }
    TTransferProgress last = meter.Snapshot();
    EXPECT_EQ(last.bytesDone, c.bytesAfter);
    EXPECT_EQ(last.filesDone, c.filesAfter);
    EXPECT_EQ(last.bytesTotal, 150);
    EXPECT_EQ(last.filesTotal, 2);
    EXPECT_LE(last.bytesDone, last.bytesTotal);
  }
}

TEST(ProgressMeter, FileEndsAreAlwaysReportedByteCountsAtMostTenTimesASecond) {
  int calls = 0;
  TProgressMeter meter({1000000, 10}, [&](const TTransferProgress&) { ++calls; });
  for (int i = 1; i <= 1000; ++i) meter.FileBytes(0, i * 100);
  EXPECT_LE(calls, 2);  // the first count, then nothing within 100 ms
  int before = calls;
  meter.FileDone(1);
  meter.Finish();
  EXPECT_EQ(calls, before + 2);
}

TEST(ProgressText, FiguresInOneLine) {
  TTransferProgress p;
  p.filesDone = 3;
  p.filesTotal = 10;
  p.bytesDone = 1536;
  p.bytesTotal = 3 * 1024 * 1024;
  EXPECT_EQ(ProgressText(p), "3 / 10 ファイル  1.5 KB / 3.0 MB");
  p.bytesPerSecond = 2048;
  p.secondsLeft = 75;
  EXPECT_EQ(ProgressText(p), "3 / 10 ファイル  1.5 KB / 3.0 MB  2.0 KB/s  残り 1:15");
  p.finished = true;
  EXPECT_EQ(ProgressText(p), "3 / 10 ファイル  1.5 KB / 3.0 MB  2.0 KB/s");
}

TEST(SummaryLine, SentSkippedFailedAndLeftOver) {
  struct Case {
    TRunSummary summary;
    std::string line;
  } cases[] = {
      {{5, 0, 0, 0, 0}, "送信 5 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 0 件"},
      {{1, 2, 3, 4, 0}, "送信 1 件、スキップ 5 件 (ローカルに無い 2 件、サイト外 3 件)、失敗 4 件"},
      {{1, 0, 0, 0, 7}, "送信 1 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 0 件、未送信 7 件"},
  };
  for (const auto& c : cases) EXPECT_EQ(SummaryLine(c.summary), c.line);
}

}  // namespace
}  // namespace tovra
