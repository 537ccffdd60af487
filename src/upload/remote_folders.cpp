#include "upload/remote_folders.h"

#include <exception>

#include "ftp/id_exceptions.h"
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

const TRemoteFolders::TListing& TRemoteFolders::Listing(TIdFTP& client, const std::string& parent, std::string& cwd) {
  auto found = listings_.find(parent);
  if (found != listings_.end()) return found->second;
  ChangeTo(client, parent, cwd);
  client.ListDirectory();
  TListing listing;
  for (const auto& item : client.ParsedListing()) {
    if (item.ItemType == TIdDirItemType::ditDirectory) listing.folders.insert(item.FileName);
    if (item.ItemType == TIdDirItemType::ditFile) listing.files.insert(item.FileName);
  }
  return listings_[parent] = std::move(listing);
}

bool TRemoteFolders::MakeLevel(TIdFTP& client, const TListing& listing, const std::string& piece,
                               const std::string& level, std::string& cwd) {
  try {
    // The whole path is named, so making a folder needs no change of folder.
    client.MakeRemoteDir(level.substr(0, level.size() - 1));
    return true;
  } catch (const EIdProtocolReplyError&) {
    // A folder the listing did not show (a dot folder a server hides, a
    // linked folder, another letter case, a listing the parser cannot read)
    // refuses MKD but can be entered. A plain file of that name cannot: the
    // server's refusal stands, as it does when the folder cannot be entered.
    std::exception_ptr refusal = std::current_exception();
    if (listing.files.count(piece) > 0) throw;
    try {
      ChangeTo(client, level, cwd);
    } catch (const EIdProtocolReplyError&) {
      std::rethrow_exception(refusal);
    }
    return false;
  }
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
    const TListing& listing = Listing(client, parent, cwd);
    if (listing.folders.count(pieces[i]) == 0) {
      bool made = MakeLevel(client, listing, pieces[i], level, cwd);
      listings_[parent].folders.insert(pieces[i]);
      // A folder just made is empty: nothing below it needs a listing.
      if (made) listings_[level];
    }
    MarkKnown(level);
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
      listings_.clear();
      throw;
    }
  }
  ChangeTo(client, folder, cwd);
}

}  // namespace tovra
