// The shell browsing widgets the windows need: a folder tree of the local
// disk (folders only, system icons) and a report-style list of the files of
// one folder, filtered by a mask. Paths cross these widgets as CP932; names
// on disk that have no CP932 form are not offered to the core.
// UI thread only.
#pragma once

#include <QTreeView>
#include <string>
#include <vector>

class QFileSystemModel;

namespace tovra {

class TJamShellTree : public QTreeView {
  Q_OBJECT
 public:
  explicit TJamShellTree(QWidget* parent = nullptr);
  // The selected folder: full path without a trailing separator (the root
  // keeps it); empty when nothing is selected.
  std::string SelectedFolder() const;
  // Selects the folder (expanding the way to it); false when it is no folder.
  bool SetSelectedFolder(const std::string& cp932Folder);

 signals:
  void Changed();  // after every change of the selected folder

 private:
  QFileSystemModel* model_;
};

class TJamShellList : public QTreeView {
  Q_OBJECT
 public:
  explicit TJamShellList(QWidget* parent = nullptr);
  void SetFolder(const std::string& cp932Folder);
  std::string Folder() const { return folder_; }
  // The filter: a mask text such as "*.htm*".
  void SetFilter(const std::string& mask);
  std::string Filter() const { return filter_; }
  // Names (without folder) of the selected files, in list order.
  std::vector<std::string> SelectedNames() const;
  // Selects the files of these names (tests and scripted use).
  void SelectNames(const std::vector<std::string>& names);
  // Names shown, in list order (tests).
  std::vector<std::string> ShownNames() const;

 signals:
  void Changed();  // after every change of the selection

 private:
  QFileSystemModel* model_;
  std::string folder_;
  std::string filter_;
};

}  // namespace tovra
