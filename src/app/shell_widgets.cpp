#include "app/shell_widgets.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "app/japanese_texts.h"
#include "app/qt_text.h"
#include "platform/encoding.h"
#include "platform/files.h"

namespace tovra {

namespace {

constexpr int kRefreshMs = 2000;

// The file system model with the list's column captions, sizes, types and
// times in Japanese, whatever the session's locale.
class TFileModel : public QFileSystemModel {
 public:
  using QFileSystemModel::QFileSystemModel;
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole && index.isValid()) {
      switch (index.column()) {
        // The model learns of files added or removed, not of a file written
        // again in place: its size and time are read afresh for each row shown.
        case 1:
          return isDir(index) ? QString() : FileSizeText(QFileInfo(filePath(index)).size());
        case 2:
          return FileTypeText(fileInfo(index));
        case 3:
          return FileTimeText(QFileInfo(filePath(index)).lastModified());
        default:
          break;
      }
    }
    return QFileSystemModel::data(index, role);
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
      static const char* const kCaptions[] = {"名前", "サイズ", "種類", "更新日時"};
      if (section >= 0 && section < 4) return QStr(kCaptions[section]);
    }
    return QFileSystemModel::headerData(section, orientation, role);
  }
};

QString ToQtPath(const std::string& cp932) {
  try {
    return QString::fromLocal8Bit(ToOsPath(cp932).c_str());
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

TShellFolderTree::TShellFolderTree(QWidget* parent) : QTreeView(parent), model_(new TFileModel(this)) {
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(QDir::rootPath());
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  // Long folder names are not cut: the tree scrolls sideways instead.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    // A click or key moves the current folder before the view has set its
    // selection; a handler that sets the folder back (or shows a message)
    // must run after the view is done with the event, or the selection lands
    // on the clicked row while the current folder is another.
    if (inputDepth_ > 0) {
      QMetaObject::invokeMethod(
          this,
          [this] {
            // A folder set in answer to the user's own change (the site
            // root after a refusal) does not make the tree follow it later.
            ++answeringInput_;
            emit Changed();
            --answeringInput_;
          },
          Qt::QueuedConnection);
    } else {
      emit Changed();
    }
  });
  // The model fills folders in the background: while the way to a folder
  // selected by the program appears, keep that folder in view. Other folders
  // loading (one the user clicked) never move the tree.
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
    if (!followSelection_ || !currentIndex().isValid()) return;
    const QString current = model_->filePath(currentIndex());
    const QString prefix = loaded.endsWith('/') ? loaded : loaded + '/';
    if (current != loaded && !current.startsWith(prefix)) return;
    if (!viewport()->rect().contains(visualRect(currentIndex()))) ScrollToFolder(currentIndex(), PositionAtCenter);
  });
}

void TShellFolderTree::mousePressEvent(QMouseEvent* event) {
  followSelection_ = false;
  ++inputDepth_;
  QTreeView::mousePressEvent(event);
  --inputDepth_;
}

void TShellFolderTree::keyPressEvent(QKeyEvent* event) {
  followSelection_ = false;
  ++inputDepth_;
  QTreeView::keyPressEvent(event);
  --inputDepth_;
}

void TShellFolderTree::wheelEvent(QWheelEvent* event) {
  followSelection_ = false;
  QTreeView::wheelEvent(event);
}

std::string TShellFolderTree::SelectedFolder() const {
  QModelIndex index = currentIndex();
  if (!index.isValid()) return {};
  std::string folder;
  if (!PathToCp932(model_->filePath(index), folder)) return {};
  while (folder.size() > 1 && folder.back() == kPathSep) folder.pop_back();
  return folder;
}

bool TShellFolderTree::SetSelectedFolder(const std::string& cp932Folder) {
  QString path = ToQtPath(cp932Folder);
  if (path.isEmpty() || !QDir(path).exists()) return false;
  QModelIndex index = model_->index(QDir::cleanPath(path));
  if (!index.isValid()) return false;
  followSelection_ = answeringInput_ == 0;
  if (index == currentIndex()) {
    // Also re-selects it after a click that left the selection elsewhere.
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    return true;
  }
  ScrollToFolder(index, EnsureVisible);
  expand(index);
  setCurrentIndex(index);
  horizontalScrollBar()->setValue(0);
  return true;
}

void TShellFolderTree::ScrollToFolder(const QModelIndex& index, ScrollHint hint) {
  // Up and down only: the names keep their start in view (the folders of
  // the way to it are indented), and a long name scrolls sideways by hand.
  scrollTo(index, hint);
  horizontalScrollBar()->setValue(0);
}

TShellFileList::TShellFileList(QWidget* parent) : QTreeView(parent), model_(new TFileModel(this)) {
  model_->setFilter(QDir::Files | QDir::NoDotAndDotDot);
  model_->setNameFilterDisables(false);
  setModel(model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Every column as wide as its contents; a narrow list scrolls sideways.
  header()->setStretchLastSection(false);
  for (int column = 0; column < model_->columnCount(); ++column)
    header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  // Rows shown are drawn again now and then, so that a file being written
  // shows its size as it grows.
  auto* refresh = new QTimer(this);
  refresh->setInterval(kRefreshMs);
  connect(refresh, &QTimer::timeout, this, [this] {
    if (isVisible()) viewport()->update();
  });
  refresh->start();
  SetFilter("*.htm*");
  viewport()->hide();  // no folder yet: nothing listed
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { emit Changed(); });
}

void TShellFileList::SetFolder(const std::string& cp932Folder) {
  if (cp932Folder == folder_) return;
  folder_ = cp932Folder;
  QString path = ToQtPath(cp932Folder);
  clearSelection();
  setRootIndex(model_->setRootPath(path));
  // No folder lists nothing (the model's own top would show the file
  // system's root, and the folders on the way to those it has read).
  viewport()->setVisible(!path.isEmpty());
  emit Changed();
}

void TShellFileList::SetFilter(const std::string& mask) {
  filter_ = mask;
  QStringList filters;
  for (const QString& part : QStr(mask).split(';', Qt::SkipEmptyParts)) filters << part.trimmed();
  model_->setNameFilters(filters);
}

std::vector<std::string> TShellFileList::SelectedNames() const {
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

std::vector<std::string> TShellFileList::ShownNames() const {
  std::vector<std::string> names;
  QModelIndex root = rootIndex();
  for (int row = 0; row < model_->rowCount(root); ++row) {
    std::string name;
    if (PathToCp932(model_->fileName(model_->index(row, 0, root)), name)) names.push_back(name);
  }
  return names;
}

void TShellFileList::SelectNames(const std::vector<std::string>& names) {
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
