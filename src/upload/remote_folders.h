// TRemoteFolders: what the sessions of one transfer run have learnt about the
// server's folders: which exist (seen in a listing or made by this run) and
// the subfolders of each listing read. A session enters a folder known to
// exist with one CWD; folders not yet known are looked up and made by one
// session at a time, so two sessions that need the same new folder at once
// make it once. A folder the listing does not show (hidden, linked, in
// another letter case) is entered when the server refuses to make it. The
// session that makes the folder it needs goes on to make
// the other missing folders of the run, while the rest store into the
// folders that exist. Thread-safe; each session passes its own client.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "util/string_list.h"

namespace tovra {

class TIdFTP;

class TRemoteFolders {
 public:
  // Makes folder the working folder of client, creating every missing
  // level below home, and the missing levels of the other folders of the
  // run (runFolders). Folders are absolute, begin with home and end in "/"
  // (RemoteFolderOf). cwd is the session's working folder as far as it is
  // known ("" when not), kept up to date, so a session already in the
  // folder sends nothing. Errors of the client reach the caller; what was
  // learnt before them stays, but listings are read afresh afterwards.
  void Enter(TIdFTP& client, const std::string& home, const std::string& folder,
             const std::vector<std::string>& runFolders, std::string& cwd);
  // Whether the folder is known to exist (listed, or made by this run).
  bool Known(const std::string& folder) const;

 private:
  void MarkKnown(const std::string& folder);
  // Makes the missing levels of folder below home (under makeMutex_).
  void Make(TIdFTP& client, const std::string& home, const std::string& folder, std::string& cwd);
  // What the listing of parent shows, read once per run (under makeMutex_).
  struct TListing {
    std::set<std::string> folders;
    std::set<std::string> files;
  };
  const TListing& Listing(TIdFTP& client, const std::string& parent, std::string& cwd);
  // Makes level (parent's piece); a refused MKD of a folder that exists
  // unlisted enters it instead. True when the folder was made.
  bool MakeLevel(TIdFTP& client, const TListing& listing, const std::string& piece, const std::string& level,
                 std::string& cwd);

  mutable std::mutex knownMutex_;
  std::set<std::string> known_;
  std::mutex makeMutex_;  // held while a session looks up or makes folders
  std::map<std::string, TListing> listings_;
};

}  // namespace tovra
