#include "app/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <string>

namespace tovra {

namespace {
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;

// The frame's title bar lies above the stored (client) rectangle. At least
// this much of it must be on a screen to grab it; a window moved back gets
// room for a whole one.
constexpr int kTitleBarGrip = 16;
constexpr int kTitleBarHeight = 32;
constexpr int kAbsent = -32768;

QRect AvailableOn(const QRect& rect) {
  QScreen* best = QGuiApplication::primaryScreen();
  int bestArea = 0;
  for (QScreen* screen : QGuiApplication::screens()) {
    QRect common = screen->availableGeometry().intersected(rect);
    if (common.width() * common.height() > bestArea) {
      bestArea = common.width() * common.height();
      best = screen;
    }
  }
  return best != nullptr ? best->availableGeometry() : QRect();
}

bool TitleBarOnScreen(const QRect& rect) {
  const QRect grip(rect.left(), rect.top() - kTitleBarGrip, rect.width(), kTitleBarGrip);
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect available = screen->availableGeometry();
    if (available.intersects(grip) && grip.top() >= available.top()) return true;
  }
  return false;
}

// The rectangle moved (not resized) so that its title bar is on the screen
// it covers most.
QRect WithTitleBarOnScreen(QRect rect) {
  const QRect available = AvailableOn(rect);
  if (available.isEmpty() || TitleBarOnScreen(rect)) return rect;
  const int left =
      std::clamp(rect.left(), available.left(), std::max(available.left(), available.right() - rect.width()));
  const int top = std::clamp(rect.top(), available.top() + kTitleBarHeight,
                             std::max(available.top() + kTitleBarHeight, available.bottom() - kTitleBarHeight));
  rect.moveTo(left, top);
  return rect;
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect available = screen->availableGeometry();
  QRect rect(QPoint(0, 0), window.size());
  rect.moveCenter(available.center());
  window.setGeometry(WithTitleBarOnScreen(rect));
}

}  // namespace

TWindowPlacement PlacementOf(const QWidget& window) {
  TWindowPlacement placement;
  // The normal rectangle also once the window is hidden: the main window's
  // placement is saved after it has closed, when a maximized window's
  // geometry is still the maximized one.
  QRect normal = window.normalGeometry();
  if (!normal.isValid()) normal = window.geometry();
  placement.left = normal.left();
  placement.top = normal.top();
  placement.right = normal.left() + normal.width();
  placement.bottom = normal.top() + normal.height();
  placement.showCmd = window.isMaximized() ? kShowMaximized : window.isMinimized() ? kShowMinimized : kShowNormal;
  placement.maxX = -1;
  placement.maxY = -1;
  return placement;
}

void ApplyPlacement(QWidget& window, const TWindowPlacement& placement) {
  int width = placement.right - placement.left;
  int height = placement.bottom - placement.top;
  // A stored rectangle that is empty or off every screen is not restored.
  if (width > 0 && height > 0) {
    QRect rect(placement.left, placement.top, width, height);
    bool onScreen = QGuiApplication::screens().isEmpty();
    for (QScreen* screen : QGuiApplication::screens()) onScreen = onScreen || screen->geometry().intersects(rect);
    if (onScreen) {
      window.setGeometry(WithTitleBarOnScreen(rect));
    } else {
      CentreOnScreen(window);
    }
  }
  Qt::WindowStates state = window.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
  if (placement.showCmd == kShowMaximized) state |= Qt::WindowMaximized;
  window.setWindowState(state);
}

void RestorePlacement(const TIniGT& ini, std::string_view prefix, QWidget& window) {
  // The first start has no rectangle: the window comes up in the middle of
  // the screen, its title bar on it (a stored state still applies).
  if (ini.ReadNumber("window", std::string(prefix) + ".X", kAbsent) == kAbsent) CentreOnScreen(window);
  TWindowPlacement placement = PlacementOf(window);
  ini.LoadPlacement("window", prefix, placement);
  ApplyPlacement(window, placement);
}

void StorePlacement(TIniGT& ini, std::string_view prefix, const QWidget& window) {
  ini.SavePlacement("window", prefix, PlacementOf(window));
}

}  // namespace tovra
