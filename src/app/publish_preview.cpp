#include "app/publish_preview.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt_text.h"
#include "upload/publish_run.h"

namespace tovra {

TPublishPreview::TPublishPreview(const TPublishPlan& plan, TServerNames names, QWidget* parent) : QDialog(parent) {
  setObjectName("frmPublishPreview");
  setWindowTitle(QStr("サイト公開"));
  auto* layout = new QVBoxLayout(this);
  std::vector<std::string> lines = PublishPlanLines(plan, names);
  auto* counts = new QLabel(QStr(lines.back()), this);
  lines.pop_back();
  lstPlan = new QListWidget(this);
  lstPlan->setObjectName("lstPlan");
  for (const auto& line : lines) lstPlan->addItem(QStr(line));
  cxDelete = new QCheckBox(
      QStr("ローカルに無いファイルをサーバーから削除する (" + std::to_string(plan.deletions.size()) + " 件)"), this);
  cxDelete->setObjectName("cxDelete");
  cxDelete->setVisible(!plan.deletions.empty());
  buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("CANCEL");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(counts);
  layout->addWidget(lstPlan, 1);
  layout->addWidget(cxDelete);
  layout->addWidget(buttons);
  resize(520, 400);
}

bool TPublishPreview::DeleteRemoved() const { return !cxDelete->isHidden() && cxDelete->isChecked(); }

}  // namespace tovra
