// The application folder, where every list and settings file of the system
// lives: the folder of the running executable, or TOVRA_APP_FOLDER when set.
#pragma once

#include <string>

namespace tovra {

// CP932 path without a trailing separator (the root keeps its separator).
std::string AppFolder();
// The running executable's full path (CP932).
std::string ExecutablePath();

}  // namespace tovra
