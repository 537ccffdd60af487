// TRemoteFolders: what the sessions of one transfer run have learnt about the
// server's folders: which exist (seen in a listing or made by this run) and
// the subfolders of each listing read. A session enters a folder known to
// exist with one CWD; a folder not yet known is looked up and made by one
// session at a time, so two sessions that need the same new folder at once
// make it once. Thread-safe; each session passes its own client.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "util/string_list.h"

namespace tovra {

class TIdFTP;

class TRemoteFolders {
 public:
  // Makes folder the working folder of client, creating every missing
  // level below home. folder is absolute, begins with home and ends in "/"
  // (RemoteFolderOf). cwd is the session's working folder as far as it is
  // known ("" when not), kept up to date, so a session already in the
  // folder sends nothing. Errors of the client reach the caller; what was
  // learnt before them stays.
  void Enter(TIdFTP& client, const std::string& home, const std::string& folder, std::string& cwd);

 private:
  bool Known(const std::string& folder) const;
  void MarkKnown(const std::string& folder);
  // Looks up and makes the levels from index i on (under makeMutex_).
  void Walk(TIdFTP& client, const TStringList& pieces, int i, std::string& cwd);
  // The subfolders of parent, listed once per run (under makeMutex_).
  const std::set<std::string>& Subfolders(TIdFTP& client, const std::string& parent, std::string& cwd);

  mutable std::mutex knownMutex_;
  std::set<std::string> known_;
  std::mutex makeMutex_;  // held while a session looks up or makes folders
  std::map<std::string, std::set<std::string>> subfolders_;
};

}  // namespace tovra
