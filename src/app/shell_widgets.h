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

class TShellFolderTree : public QTreeView {
  Q_OBJECT
 public:
  explicit TShellFolderTree(QWidget* parent = nullptr);
  // The selected folder: full path without a trailing separator (the root
  // keeps it); empty when nothing is selected.
  std::string SelectedFolder() const;
  // Selects the folder (expanding the way to it); false when it is no folder.
  bool SetSelectedFolder(const std::string& cp932Folder);

 signals:
  // After every change of the selected folder; a change made by a click or
  // key is reported once the view has finished with that event.
  void Changed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void ScrollToFolder(const QModelIndex& index, ScrollHint hint);

  QFileSystemModel* model_;
  int inputDepth_ = 0;            // inside a click or key event
  int answeringInput_ = 0;        // inside Changed for a click or key
  bool followSelection_ = false;  // scroll to the selected folder as folders load
};

class TShellFileList : public QTreeView {
  Q_OBJECT
 public:
  explicit TShellFileList(QWidget* parent = nullptr);
  // The folder listed; empty lists nothing.
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
