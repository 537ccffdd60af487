// Helpers for the window tests: a temporary application folder with a demo
// site, and answering modal dialogs from a timer while they run.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QtTest/QtTest>
#include <functional>
#include <string>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "support/test_site.h"

namespace tovra::test {

// Runs `action` on the next modal dialog once it is showing.
inline void WhenModal(std::function<void(QWidget*)> action, int triesLeft = 200) {
  QTimer::singleShot(20, [action = std::move(action), triesLeft]() mutable {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      action(modal);
    } else if (triesLeft > 0) {
      WhenModal(std::move(action), triesLeft - 1);
    }
  });
}

// Shows the main window and returns once its FormShow has run.
inline void StartWindow(TApplicationModules& modules) {
  modules.Form1()->show();
  QTRY_VERIFY(modules.Form1()->ComboBox3->isHidden());
}

// The status memo's lines.
inline QStringList MemoLines(TForm1* form) { return form->Memo1->toPlainText().split('\n'); }

// The pieces of `whole` (a fingerprint) that the box's labels show on lines
// of their own, joined; a piece wider than its label, cut off on the
// screen, is left out.
inline QString ShownWhole(QWidget* box, const QString& whole) {
  QString joined;
  for (QLabel* label : box->findChildren<QLabel*>()) {
    for (const QString& line : label->text().split('\n')) {
      if (line.isEmpty() || !whole.contains(line)) continue;
      if (label->fontMetrics().horizontalAdvance(line) <= label->contentsRect().width()) joined += line;
    }
  }
  return joined;
}

// Clicks the button of that object name in the next modal dialog.
inline void ClickInModal(const char* buttonName) {
  WhenModal([name = std::string(buttonName)](QWidget* modal) {
    if (auto* button = modal->findChild<QPushButton*>(QString::fromStdString(name))) button->click();
  });
}

// Calls `action` whenever the widget is enabled or disabled.
inline void OnEnabled(QWidget* widget, std::function<void()> action) {
  class Filter : public QObject {
   public:
    Filter(QObject* parent, std::function<void()> action) : QObject(parent), action_(std::move(action)) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::EnabledChange) action_();
      return false;
    }

   private:
    std::function<void()> action_;
  };
  widget->installEventFilter(new Filter(widget, std::move(action)));
}

// A temporary application folder (TOVRA_APP_FOLDER) and site folders.
struct AppFolderFixture {
  TempDir dir;
  std::string app = [this] {
    dir.Write("app/.keep", "");
    return dir.Sub("app");
  }();
  ScopedEnv appFolder{"TOVRA_APP_FOLDER", app};  // as it was again at the end

  // Saves a profile for `name` with root `root`, the given server port and
  // extended settings (by default none, as a profile saved before they existed).
  void AddSite(const std::string& name, const std::string& root, int port = 21, const std::string& url = "",
               const TExtendedSettings& extended = {}) {
    if (!DirectoryExists(root)) dir.Write(root.substr(dir.Path().size() + 1) + "/.keep", "");
    SaveTestSite({name, root, port, "secret", url}, extended);
  }
};

}  // namespace tovra::test
