// The building blocks of the site dialog's fields: a field in a small
// captioned group, line and number edits named after the profile key they
// hold, and a read-only field for a value longer than it. UI thread only.
#pragma once

#include <QLineEdit>
#include <QString>

class QGroupBox;
class QSpinBox;
class QWidget;

namespace tovra {

// A read-only field for a value that is often longer than the field (a
// remembered fingerprint): elided in the middle, so that both its ends
// show; whole in its tooltip and while the field has the focus, where it
// can be selected and copied.
class TElidedField : public QLineEdit {
 public:
  TElidedField(const char* name, QWidget* parent);
  void SetWhole(const QString& text);
  const QString& Whole() const { return whole_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void ShowFitting();
  QString whole_;
};

// `field` inside a group box captioned `caption` (CP932).
QGroupBox* Group(const char* caption, QWidget* field, QWidget* parent);
// A line edit; the input method (Japanese input) is off unless asked for.
QLineEdit* LineEdit(const char* name, QWidget* parent, bool inputMethod = false);
// A password field: echoed as dots, with a button beside it that shows the
// text while it is held down. Returns the row holding both.
QWidget* PasswordRow(QLineEdit* field, QWidget* parent);
// A port field without a range limit.
QSpinBox* PortBox(const char* name, int value, QWidget* parent);

}  // namespace tovra
