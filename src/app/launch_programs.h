// Launch programs: external programs listed in "起動プログラム選択.txt" that
// the main window starts on the selected folder or files. Qt-free; the
// window supplies the selection and the process starter.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "util/string_list.h"

namespace tovra {

// Starts a command line without waiting; returns 0 when it could not start.
using TProcessStarter = std::function<int(const std::string& commandLine)>;

// TWinUtility: the entry's process starter.
struct TWinUtility {
  TProcessStarter starter;
  int RunProcess(const std::string& commandLine) const;
};

struct TSubPGM {
  std::string Title;
  std::string ProgramPath;
  std::vector<std::string> Arguments;  // "-d" and "-f" are placeholders
  TWinUtility Launcher;
};

// What a launch needs of the main window at the moment of the launch.
struct TLaunchSelection {
  bool updatePanelVisible = false;
  int currentRow = -1;                 // CheckListBox1's current row, -1 for none
  TStringList updateRows;              // CheckListBox1's rows (full paths)
  std::string treeFolder;              // JamShellTree1's selected folder
  std::vector<std::string> fileNames;  // JamShellList1's selected names, list order
};

class TSubPGMs {
 public:
  // Appends the entries of the launch list file (lines with fewer than two
  // quoted fields are skipped). `starter` becomes each entry's launcher.
  void LoadLaunchList(const std::string& path, const TProcessStarter& starter);
  void AddLine(const std::string& line, const TProcessStarter& starter);
  // Appends every title, in list order.
  void FillSelector(TStringList& items) const;
  // First entry whose title equals `title` exactly; -1 if none.
  int FindEntry(const std::string& title) const;
  int Count() const { return static_cast<int>(entries_.size()); }
  const TSubPGM& operator[](int index) const { return entries_.at(static_cast<std::size_t>(index)); }

  // btnSubPGMClick for the entry titled `title`: fills the placeholders from
  // the selection, starts the command line, restores the placeholders.
  // Returns the command line started (empty when no entry matched). Raises
  // EListError(-1) when a placeholder needs the update panel's current row
  // and there is none.
  std::string Launch(const std::string& title, const TLaunchSelection& selection);

 private:
  std::vector<TSubPGM> entries_;
};

// The quoted fields of one launch list line.
std::vector<std::string> ParseLaunchFields(const std::string& line);
// The command line format: "program" "arg1" "arg2" ... each followed by a blank.
std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& arguments);

// The launch list file of the application folder, and the selector's fixed
// first item.
std::string LaunchListPath();
std::string LaunchSelectorFirstItem();

}  // namespace tovra
