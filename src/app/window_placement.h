// A window's stored placement (the settings component's eight integers)
// mapped onto Qt geometry and window state.
#pragma once

#include <QWidget>

#include "sites/IniGT.h"

namespace tovra {

TWindowPlacement PlacementOf(const QWidget& window);
void ApplyPlacement(QWidget& window, const TWindowPlacement& placement);

// LoadPlacement / SavePlacement of a window through a settings component.
void RestorePlacement(const TIniGT& ini, std::string_view prefix, QWidget& window);
void StorePlacement(TIniGT& ini, std::string_view prefix, const QWidget& window);

}  // namespace tovra
