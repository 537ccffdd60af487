#include "app/launch_programs.h"

#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {

namespace {

// The folder part of a path: without its last part and the separator before
// it; the root keeps its separator.
std::string FolderOfRow(const std::string& path) { return ExtractFileDir(path); }

}  // namespace

std::string LaunchListPath() { return JoinPath(AppFolder(), "起動プログラム選択.txt"); }
std::string LaunchSelectorFirstItem() { return "起動プログラム選択"; }

int TWinUtility::RunProcess(const std::string& commandLine) const { return starter ? starter(commandLine) : 0; }

std::vector<std::string> ParseLaunchFields(const std::string& line) {
  // Walks characters, so a quote mark is never taken from a trail byte. The
  // last character is not examined as an opening quote (a field needs one
  // more character for its closing mark anyway).
  std::vector<std::string> fields;
  std::string_view text = TextOf(line);
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t n = CharBytesAt(text, i);
    if (n != 1 || text[i] != '"' || i + 1 >= text.size()) {
      i += n;
      continue;
    }
    std::size_t close = CharFind(text, "\"", i + 1);
    if (close == std::string_view::npos) break;  // unclosed: dropped
    fields.emplace_back(text.substr(i + 1, close - i - 1));
    i = close + 1;
  }
  return fields;
}

std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line = "\"" + program + "\" ";
  for (const auto& arg : arguments) line += "\"" + arg + "\" ";
  return line;
}

void TSubPGMs::AddLine(const std::string& line, const TProcessStarter& starter) {
  std::vector<std::string> fields = ParseLaunchFields(line);
  if (fields.size() < 2) return;
  TSubPGM entry;
  entry.Title = fields[0];
  entry.ProgramPath = fields[1];
  entry.Arguments.assign(fields.begin() + 2, fields.end());
  entry.Launcher.starter = starter;
  entries_.push_back(std::move(entry));
}

void TSubPGMs::LoadLaunchList(const std::string& path, const TProcessStarter& starter) {
  for (const auto& line : LoadLines(path)) AddLine(line, starter);
}

void TSubPGMs::FillSelector(TStringList& items) const {
  for (const auto& entry : entries_) items.Add(entry.Title);
}

int TSubPGMs::FindEntry(const std::string& title) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].Title == title) return static_cast<int>(i);
  }
  return -1;
}

std::string TSubPGMs::Launch(const std::string& title, const TLaunchSelection& selection) {
  int index = FindEntry(title);
  if (index < 0) return {};
  const TSubPGM& entry = entries_[static_cast<std::size_t>(index)];
  auto currentRow = [&]() -> const std::string& {
    if (selection.currentRow < 0 || selection.currentRow >= selection.updateRows.Count()) throw EListError(-1);
    return selection.updateRows[selection.currentRow];
  };
  // The placeholders are filled in a copy: the entry keeps the arguments read
  // from the file, so every launch starts from the placeholders again.
  std::vector<std::string> args;
  for (const auto& arg : entry.Arguments) {
    if (arg == "-d") {
      args.push_back(selection.updatePanelVisible ? FolderOfRow(currentRow()) : selection.treeFolder);
    } else if (arg == "-f") {
      if (selection.updatePanelVisible) {
        args.push_back(currentRow());
      } else if (selection.fileNames.empty()) {
        args.push_back(arg);
      } else {
        // Each further file is inserted at the placeholder's position, so the
        // paths stand in reverse selection order, the first file's last.
        for (auto name = selection.fileNames.rbegin(); name != selection.fileNames.rend(); ++name)
          args.push_back(JoinPath(selection.treeFolder, *name));
      }
    } else {
      args.push_back(arg);
    }
  }
  std::string commandLine = BuildCommandLine(entry.ProgramPath, args);
  entry.Launcher.RunProcess(commandLine);
  return commandLine;
}

}  // namespace tovra
