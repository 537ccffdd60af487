#include "upload/transfer_progress.h"

#include <algorithm>
#include <cstdio>

namespace tovra {

namespace {

// Byte counts emitted no more often than this; file ends always are.
constexpr auto kMinEmitGap = std::chrono::milliseconds(100);

std::string Bytes(double n) {
  char buffer[32];
  if (n < 1024) {
    std::snprintf(buffer, sizeof buffer, "%.0f B", n);
  } else if (n < 1024 * 1024) {
    std::snprintf(buffer, sizeof buffer, "%.1f KB", n / 1024);
  } else if (n < 1024.0 * 1024 * 1024) {
    std::snprintf(buffer, sizeof buffer, "%.1f MB", n / (1024 * 1024));
  } else {
    std::snprintf(buffer, sizeof buffer, "%.2f GB", n / (1024.0 * 1024 * 1024));
  }
  return buffer;
}

}  // namespace

std::string ProgressText(const TTransferProgress& p) {
  std::string text = std::to_string(p.filesDone) + " / " + std::to_string(p.filesTotal) + " ファイル  " +
                     Bytes(static_cast<double>(p.bytesDone)) + " / " + Bytes(static_cast<double>(p.bytesTotal));
  if (p.bytesPerSecond > 0) text += "  " + Bytes(p.bytesPerSecond) + "/s";
  if (p.secondsLeft >= 0 && !p.finished) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d:%02d", p.secondsLeft / 60, p.secondsLeft % 60);
    text += std::string("  残り ") + buffer;
  }
  return text;
}

std::string SummaryLine(const TRunSummary& s) {
  std::string more;
  if (s.unrepresentable > 0) more += "、CP932で表せない " + std::to_string(s.unrepresentable) + " 件";
  if (s.caseDiffers > 0) more += "、大文字小文字違い " + std::to_string(s.caseDiffers) + " 件";
  return "送信 " + std::to_string(s.sent) + " 件、スキップ " +
         std::to_string(s.missing + s.outside + s.unrepresentable + s.caseDiffers) + " 件 (ローカルに無い " +
         std::to_string(s.missing) + " 件、サイト外 " + std::to_string(s.outside) + " 件" + more + ")、失敗 " +
         std::to_string(s.failed) + " 件" +
         (s.notSent > 0 ? "、未送信 " + std::to_string(s.notSent) + " 件" : std::string());
}

TProgressMeter::TProgressMeter(std::vector<std::int64_t> sizes, Sink sink)
    : sizes_(std::move(sizes)), counted_(sizes_.size(), 0), done_(sizes_.size(), false), sink_(std::move(sink)) {
  for (std::int64_t size : sizes_) bytesTotal_ += std::max<std::int64_t>(size, 0);
}

void TProgressMeter::FileBytes(std::size_t index, std::int64_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= sizes_.size() || done_[index] || finished_) return;
  // A file that grew since planning counts no further than its planned size.
  std::int64_t capped = std::min(count, std::max<std::int64_t>(sizes_[index], 0));
  if (capped <= counted_[index]) return;
  bytesDone_ += capped - counted_[index];
  counted_[index] = capped;
  Emit(false);
}

void TProgressMeter::FileDone(std::size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= sizes_.size() || done_[index] || finished_) return;
  done_[index] = true;
  ++filesDone_;
  std::int64_t size = std::max<std::int64_t>(sizes_[index], 0);
  bytesDone_ += size - counted_[index];
  counted_[index] = size;
  Emit(true);
}

void TProgressMeter::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  finished_ = true;
  Emit(true);
}

TTransferProgress TProgressMeter::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return SnapshotLocked(Clock::now());
}

TTransferProgress TProgressMeter::SnapshotLocked(Clock::time_point now) const {
  TTransferProgress p;
  p.filesDone = filesDone_;
  p.filesTotal = static_cast<int>(sizes_.size());
  p.bytesDone = bytesDone_;
  p.bytesTotal = bytesTotal_;
  p.finished = finished_;
  double seconds = std::chrono::duration<double>(now - start_).count();
  if (seconds > 0.2 && bytesDone_ > 0) {
    p.bytesPerSecond = static_cast<double>(bytesDone_) / seconds;
    p.secondsLeft = static_cast<int>(static_cast<double>(bytesTotal_ - bytesDone_) / p.bytesPerSecond + 0.5);
  }
  return p;
}

void TProgressMeter::Emit(bool force) {
  Clock::time_point now = Clock::now();
  if (!force && now - lastEmit_ < kMinEmitGap) return;
  lastEmit_ = now;
  if (sink_) sink_(SnapshotLocked(now));
}

}  // namespace tovra
