// TUploadProgress: the progress bar and label under the status memo. The
// transfer run's events arrive often and from its threads; the window hands
// the latest here on the UI thread, and the widgets are redrawn from it on a
// timer, so they change at most four times a second and lag at most 250 ms.
// UI thread only.
#pragma once

#include <QWidget>
#include <string>

#include "upload/transfer_progress.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace tovra {

class TUploadProgress : public QWidget {
  Q_OBJECT
 public:
  explicit TUploadProgress(QWidget* parent = nullptr);

  // Keeps the newest progress; the next tick shows it.
  void SetProgress(const TTransferProgress& progress);
  // The run's summary replaces the figures; redrawing stops.
  void ShowSummary(const std::string& line);
  // Before a new upload: no bar, no figures, no summary.
  void Reset();

  QProgressBar* Bar() const { return bar_; }
  QLabel* Label() const { return label_; }

 private:
  void Redraw();

  QProgressBar* bar_;
  QLabel* label_;
  QTimer* timer_;
  TTransferProgress latest_;
  bool dirty_ = false;
};

}  // namespace tovra
