#include "app/shell_widgets.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <algorithm>

#include "app/qt_text.h"
#include "platform/encoding.h"
#include "platform/files.h"

namespace tovra {

namespace {

QString ToQtPath(const std::string& cp932) {
  try {
    return QString::fromLocal8Bit(ToOsPath(cp932).c_str());
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

TJamShellTree::TJamShellTree(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(QDir::rootPath());
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { emit Changed(); });
}

std::string TJamShellTree::SelectedFolder() const {
  QModelIndex index = currentIndex();
  if (!index.isValid()) return {};
  std::string folder;
  if (!PathToCp932(model_->filePath(index), folder)) return {};
  while (folder.size() > 1 && folder.back() == kPathSep) folder.pop_back();
  return folder;
}

bool TJamShellTree::SetSelectedFolder(const std::string& cp932Folder) {
  QString path = ToQtPath(cp932Folder);
  if (path.isEmpty() || !QDir(path).exists()) return false;
  QModelIndex index = model_->index(QDir::cleanPath(path));
  if (!index.isValid()) return false;
  if (index == currentIndex()) return true;
  scrollTo(index);
  expand(index);
  setCurrentIndex(index);
  return true;
}

TJamShellList::TJamShellList(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::Files | QDir::NoDotAndDotDot);
  model_->setNameFilterDisables(false);
  setModel(model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::Stretch);
  SetFilter("*.htm*");
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { emit Changed(); });
}

void TJamShellList::SetFolder(const std::string& cp932Folder) {
  if (cp932Folder == folder_) return;
  folder_ = cp932Folder;
  QString path = ToQtPath(cp932Folder);
  clearSelection();
  setRootIndex(model_->setRootPath(path));
  emit Changed();
}

void TJamShellList::SetFilter(const std::string& mask) {
  filter_ = mask;
  QStringList filters;
  for (const QString& part : QStr(mask).split(';', Qt::SkipEmptyParts)) filters << part.trimmed();
  model_->setNameFilters(filters);
}

std::vector<std::string> TJamShellList::SelectedNames() const {
  QModelIndexList rows = selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::string> names;
  for (const QModelIndex& index : rows) {
    if (model_->isDir(index)) continue;
    std::string name;
    if (PathToCp932(model_->fileName(index), name)) names.push_back(name);
  }
  return names;
}

std::vector<std::string> TJamShellList::ShownNames() const {
  std::vector<std::string> names;
  QModelIndex root = rootIndex();
  for (int row = 0; row < model_->rowCount(root); ++row) {
    std::string name;
    if (PathToCp932(model_->fileName(model_->index(row, 0, root)), name)) names.push_back(name);
  }
  return names;
}

void TJamShellList::SelectNames(const std::vector<std::string>& names) {
  clearSelection();
  QModelIndex root = rootIndex();
  for (int row = 0; row < model_->rowCount(root); ++row) {
    QModelIndex index = model_->index(row, 0, root);
    std::string name;
    if (!PathToCp932(model_->fileName(index), name)) continue;
    if (std::find(names.begin(), names.end(), name) != names.end())
      selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

}  // namespace tovra
