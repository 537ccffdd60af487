// TPublishPreview: the dialog the window's サイト公開 button opens before a
// publish. It lists the plan (new, changed and deleted files, then the
// counts) and asks OK or CANCEL; deletions on the server happen only when
// the user ticks the box for them, which is there only when the plan has
// deletions. UI thread only.
#pragma once

#include <QDialog>

#include "upload/publish_plan.h"
#include "upload/publish_run.h"

class QCheckBox;
class QListWidget;
class QDialogButtonBox;

namespace tovra {

class TPublishPreview : public QDialog {
  Q_OBJECT
 public:
  // names: how the site's server takes file names, for the names CP932 cannot hold.
  TPublishPreview(const TPublishPlan& plan, TServerNames names, QWidget* parent = nullptr);

  bool DeleteRemoved() const;

  QListWidget* lstPlan;
  QCheckBox* cxDelete;
  QDialogButtonBox* buttons;
};

}  // namespace tovra
