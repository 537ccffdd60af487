#include "app/window_placement.h"

#include <QGuiApplication>
#include <QScreen>

namespace tovra {

namespace {
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
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
    if (onScreen) window.setGeometry(rect);
  }
  Qt::WindowStates state = window.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
  if (placement.showCmd == kShowMaximized) state |= Qt::WindowMaximized;
  window.setWindowState(state);
}

void RestorePlacement(const TIniGT& ini, std::string_view prefix, QWidget& window) {
  TWindowPlacement placement = PlacementOf(window);
  ini.LoadPlacement("window", prefix, placement);
  ApplyPlacement(window, placement);
}

void StorePlacement(TIniGT& ini, std::string_view prefix, const QWidget& window) {
  ini.SavePlacement("window", prefix, PlacementOf(window));
}

}  // namespace tovra
