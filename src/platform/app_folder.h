// The application folder, where every list and settings file of the system
// lives (site list, profiles, managed file list, upload log, ...).
//
// It is chosen in this order:
//   1. TOVRA_APP_FOLDER when set (tests, the demo, a folder of one's choice);
//   2. the executable's folder when it is writable and already holds a site
//      list: a portable copy unpacked into the user's own folder;
//   3. the user's data folder: $XDG_DATA_HOME/tovra, or ~/.local/share/tovra
//      when XDG_DATA_HOME is unset or not absolute; created with mode 0700
//      because profiles hold passwords.
// An installed program (read-only /usr/bin) thus keeps its data per user.
// Thread-safe as long as nobody changes the environment meanwhile.
#pragma once

#include <string>

namespace tovra {

enum class AppFolderSource {
  Environment,  // TOVRA_APP_FOLDER
  Executable,   // the executable's folder holds a site list
  DataHome,     // $XDG_DATA_HOME/tovra
  HomeDefault,  // ~/.local/share/tovra
  NoHome,       // no home folder known: the executable's folder after all
};

// Everything the choice depends on, taken from the process or given by a test.
// Paths in CP932; empty means unset.
struct AppFolderInputs {
  std::string overrideFolder;    // TOVRA_APP_FOLDER
  std::string executableFolder;  // folder of the running executable
  std::string dataHome;          // XDG_DATA_HOME
  std::string home;              // HOME, or the account's home folder
};

struct AppFolderChoice {
  std::string folder;  // no trailing separator (the root keeps its separator)
  AppFolderSource source = AppFolderSource::Environment;
};

// Name of the site list file, whose presence marks a portable folder (CP932).
extern const char kSiteListFileName[];

// The inputs of the running process.
AppFolderInputs CurrentAppFolderInputs();
// Picks the folder; looks at the executable's folder but creates nothing.
AppFolderChoice ChooseAppFolder(const AppFolderInputs& inputs);
// Creates a user data folder that does not exist yet (missing parents too,
// each with mode 0700). False when it cannot be created; the other sources
// are used as they are.
bool PrepareAppFolder(const AppFolderChoice& choice);

// At a program's start: creates the chosen folder when it is missing,
// whatever its source (each new level 0700), and tells whether a file can be
// written there. Writes and removes one small probe file.
bool OpenAppFolderForWriting(const AppFolderChoice& choice);

// The chosen folder of the running process, prepared. CP932.
AppFolderChoice CurrentAppFolder();
std::string AppFolder();
// A warning, once per start, when the folder (existing) can be written by
// other users, who could then read or replace profiles with passwords:
// written by all, or by a group other than its owner's own. Empty otherwise.
std::string OpenFolderWarning(const std::string& folder);
// The same for the folder the running process would use; creates nothing.
std::string AppFolderWarning();
// The running executable's full path (CP932).
std::string ExecutablePath();

}  // namespace tovra
