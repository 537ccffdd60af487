#include "app/dialog_fields.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

#include "app/qt_text.h"

namespace tovra {

QGroupBox* Group(const char* caption, QWidget* field, QWidget* parent) {
  auto* box = new QGroupBox(QStr(caption), parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(6, 2, 6, 4);
  layout->addWidget(field);
  return box;
}

QLineEdit* LineEdit(const char* name, QWidget* parent, bool inputMethod) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAttribute(Qt::WA_InputMethodEnabled, inputMethod);
  return edit;
}

QSpinBox* PortBox(const char* name, int value, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(INT_MIN, INT_MAX);  // no range limit
  box->setValue(value);
  return box;
}

}  // namespace tovra
