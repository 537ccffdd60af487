#include "app/dialog_fields.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
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

TElidedField::TElidedField(const char* name, QWidget* parent) : QLineEdit(parent) {
  setObjectName(name);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setReadOnly(true);
}

void TElidedField::SetWhole(const QString& text) {
  whole_ = text;
  setToolTip(text);
  ShowFitting();
}

void TElidedField::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  ShowFitting();
}

void TElidedField::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  ShowFitting();
}

void TElidedField::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  ShowFitting();
}

void TElidedField::ShowFitting() {
  if (hasFocus()) {
    if (text() != whole_) setText(whole_);
    return;
  }
  QStyleOptionFrame option;
  initStyleOption(&option);
  // The room the line edit leaves for its text: the contents less its own
  // margins of a few pixels on either side.
  const QMargins margins = textMargins();
  const int room = style()->subElementRect(QStyle::SE_LineEditContents, &option, this).width() - margins.left() -
                   margins.right() - 2 * 2;
  const QString shown = fontMetrics().elidedText(whole_, Qt::ElideMiddle, room);
  if (text() != shown) setText(shown);
  setCursorPosition(0);
}

QSpinBox* PortBox(const char* name, int value, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(INT_MIN, INT_MAX);  // no range limit
  box->setValue(value);
  return box;
}

}  // namespace tovra
