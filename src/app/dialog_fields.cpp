#include "app/dialog_fields.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
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

QWidget* PasswordRow(QLineEdit* field, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  field->setParent(row);
  field->setEchoMode(QLineEdit::Password);
  auto* show = new QToolButton(row);
  show->setObjectName(field->objectName() + "Show");
  show->setText(QStr("表示"));
  show->setToolTip(QStr("押している間、パスワードを表示します"));
  show->setFocusPolicy(Qt::NoFocus);
  QObject::connect(show, &QToolButton::pressed, field, [field] { field->setEchoMode(QLineEdit::Normal); });
  QObject::connect(show, &QToolButton::released, field, [field] { field->setEchoMode(QLineEdit::Password); });
  layout->addWidget(field, 1);
  layout->addWidget(show);
  return row;
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
