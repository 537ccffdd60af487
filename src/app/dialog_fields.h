// The building blocks of the site dialog's fields: a field in a small
// captioned group, and line and number edits named after the profile key
// they hold. UI thread only.
#pragma once

class QGroupBox;
class QLineEdit;
class QSpinBox;
class QWidget;

namespace tovra {

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
