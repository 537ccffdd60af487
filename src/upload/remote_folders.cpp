#include "upload/remote_folders.h"

#include "ftp/id_ftp.h"
#include "util/char_string.h"

namespace tovra {

namespace {

void ChangeTo(TIdFTP& client, const std::string& folder, std::string& cwd) {
  if (cwd == folder) return;
  cwd.clear();  // unknown while the command is under way
  client.ChangeWorkingDir(folder);
  cwd = folder;
}

// The first count pieces joined, each followed by "/": {"", "img"} gives "/img/".
std::string Prefix(const TStringList& pieces, int count) {
  std::string path;
  for (int k = 0; k < count; ++k) path += pieces[k] + "/";
  return path.empty() ? std::string("/") : path;
}

}  // namespace

bool TRemoteFolders::Known(const std::string& folder) const {
  std::lock_guard<std::mutex> lock(knownMutex_);
  return known_.count(folder) > 0;
}

void TRemoteFolders::MarkKnown(const std::string& folder) {
  std::lock_guard<std::mutex> lock(knownMutex_);
  known_.insert(folder);
}

const std::set<std::string>& TRemoteFolders::Subfolders(TIdFTP& client, const std::string& parent, std::string& cwd) {
  auto found = subfolders_.find(parent);
  if (found != subfolders_.end()) return found->second;
  ChangeTo(client, parent, cwd);
  client.ListDirectory();
  std::set<std::string> names;
  // A plain file or a link of the same name counts as missing, as in a
  // single session's walk: making the folder then fails with the server's reply.
  for (const auto& item : client.ParsedListing()) {
    if (item.ItemType == TIdDirItemType::ditDirectory) names.insert(item.FileName);
  }
  return subfolders_[parent] = std::move(names);
}

void TRemoteFolders::Make(TIdFTP& client, const std::string& home, const std::string& folder, std::string& cwd) {
  TStringList pieces;
  int i = SplitString(pieces, home, "/");
  SplitString(pieces, folder, "/");
  MarkKnown(Prefix(pieces, i));
  for (; i < pieces.Count(); ++i) {
    const std::string parent = Prefix(pieces, i);
    const std::string level = Prefix(pieces, i + 1);
    if (Known(level)) continue;
    if (Subfolders(client, parent, cwd).count(pieces[i]) > 0) {
      MarkKnown(level);
      continue;
    }
    // From the first missing level on, nothing below can exist yet. The
    // whole path is named, so making a folder needs no change of folder.
    for (; i < pieces.Count(); ++i) {
      const std::string made = Prefix(pieces, i + 1);
      client.MakeRemoteDir(made.substr(0, made.size() - 1));
      subfolders_[Prefix(pieces, i)].insert(pieces[i]);
      subfolders_[made];  // new and empty
      MarkKnown(made);
    }
  }
}

void TRemoteFolders::Enter(TIdFTP& client, const std::string& home, const std::string& folder,
                           const std::vector<std::string>& runFolders, std::string& cwd) {
  if (cwd == folder) return;
  if (!Known(folder)) {
    std::lock_guard<std::mutex> making(makeMutex_);
    try {
      Make(client, home, folder, cwd);
      for (const auto& other : runFolders) {
        if (!Known(other)) Make(client, home, other, cwd);
      }
    } catch (...) {
      // A command that failed may still have acted (a folder made whose
      // reply was lost): the next try lists the folders afresh.
      subfolders_.clear();
      throw;
    }
  }
  ChangeTo(client, folder, cwd);
}

}  // namespace tovra
