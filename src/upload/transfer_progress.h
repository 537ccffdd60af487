// Progress of a transfer run as the front ends show it: files done of the
// total, bytes, rate and time left, and the one summary line at the end.
// TProgressMeter gathers the counts from every session of a run and hands
// out snapshots that never go backwards. Thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tovra {

struct TTransferProgress {
  int filesDone = 0;  // sent, skipped or failed
  int filesTotal = 0;
  std::int64_t bytesDone = 0;
  std::int64_t bytesTotal = 0;
  double bytesPerSecond = 0;  // over the run so far
  int secondsLeft = -1;       // -1 while unknown
  bool finished = false;      // the last event of a run
};

// "3 / 10 ファイル  1.2 MB / 4.0 MB  350 KB/s  残り 0:12" (rate and time left
// only once they are known).
std::string ProgressText(const TTransferProgress& progress);

// What became of the files of a run. Missing files are those the
// preparation dropped; outside files lie outside the site root.
struct TRunSummary {
  int sent = 0;
  int missing = 0;
  int outside = 0;
  int failed = 0;
  int notSent = 0;          // left over when the run was stopped
  int unrepresentable = 0;  // names CP932 cannot hold
  int caseDiffers = 0;      // only a file of another letter case exists
};

// "送信 5 件、スキップ 2 件 (ローカルに無い 1 件、サイト外 1 件)、失敗 0 件",
// then "、未送信 3 件" when files were left over. Names CP932 cannot hold and
// letter-case mismatches are counted in the brackets when there are any.
std::string SummaryLine(const TRunSummary& summary);

class TProgressMeter {
 public:
  using Clock = std::chrono::steady_clock;
  using Sink = std::function<void(const TTransferProgress&)>;

  // sizes: the planned size of every file. The sink is called under the
  // meter's lock, one call at a time; it must not call back into the meter.
  TProgressMeter(std::vector<std::int64_t> sizes, Sink sink);

  // The running byte count of the current attempt at file index. A second
  // attempt counts only past what the first already counted.
  void FileBytes(std::size_t index, std::int64_t count);
  // The file is over (sent, skipped or failed): its whole size counts.
  void FileDone(std::size_t index);
  // The last event: at the totals when every file is done.
  void Finish();

  TTransferProgress Snapshot() const;

 private:
  TTransferProgress SnapshotLocked(Clock::time_point now) const;
  void Emit(bool force);

  mutable std::mutex mutex_;
  std::vector<std::int64_t> sizes_;
  std::vector<std::int64_t> counted_;
  std::vector<bool> done_;
  Sink sink_;
  int filesDone_ = 0;
  std::int64_t bytesDone_ = 0;
  std::int64_t bytesTotal_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastEmit_{};
  bool finished_ = false;
};

}  // namespace tovra
