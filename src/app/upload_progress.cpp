#include "app/upload_progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt_text.h"

namespace tovra {

namespace {

constexpr int kRedrawMs = 250;
constexpr int kBarSteps = 1000;

}  // namespace

TUploadProgress::TUploadProgress(QWidget* parent) : QWidget(parent) {
  setObjectName("UploadProgress");
  bar_ = new QProgressBar(this);
  bar_->setObjectName("UploadProgressBar");
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  // Nothing to show before the first run: an empty bar would look like a
  // field to fill in.
  bar_->hide();
  label_ = new QLabel(this);
  label_->setObjectName("UploadProgressLabel");
  label_->setWordWrap(true);  // the summary line is longer than the memo is wide
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(bar_);
  layout->addWidget(label_);
  timer_ = new QTimer(this);
  timer_->setInterval(kRedrawMs);
  connect(timer_, &QTimer::timeout, this, &TUploadProgress::Redraw);
}

void TUploadProgress::SetProgress(const TTransferProgress& progress) {
  latest_ = progress;
  dirty_ = true;
  bar_->show();
  if (!timer_->isActive()) {
    // The first event of a run shows at once; later ones wait for the tick.
    Redraw();
    timer_->start();
  }
}

void TUploadProgress::ShowSummary(const std::string& line) {
  if (dirty_) Redraw();
  timer_->stop();
  label_->setText(QStr(line));
}

void TUploadProgress::Reset() {
  timer_->stop();
  dirty_ = false;
  latest_ = {};
  bar_->setValue(0);
  bar_->hide();
  label_->clear();
}

void TUploadProgress::Redraw() {
  if (!dirty_) return;
  dirty_ = false;
  // Files weigh in where there are no bytes to count (empty files).
  double share = latest_.bytesTotal > 0   ? static_cast<double>(latest_.bytesDone) / latest_.bytesTotal
                 : latest_.filesTotal > 0 ? static_cast<double>(latest_.filesDone) / latest_.filesTotal
                                          : 1.0;
  bar_->setValue(static_cast<int>(share * kBarSteps));
  label_->setText(QStr(ProgressText(latest_)));
}

}  // namespace tovra
