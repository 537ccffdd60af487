// How one file is stored when AtomicUpload is on: under a temporary name in
// its target folder, then renamed over the target, so a visitor never reads
// a file half-written under its real name. Where the server refuses to
// rename onto an existing file the target is removed and the rename tried
// again; where it refuses renaming at all the temporary file is removed and
// the file stored directly, and every later store of the run does so too
// (the run says so once). The connection's own operations come in as
// TStoreSteps, in names of the entered folder.
// Threads: one TAtomicStores serves every session of a run.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace tovra {

struct TStoreSteps {
  std::function<void(const std::string& localPath, const std::string& name)> store;
  // False when the server refuses.
  std::function<bool(const std::string& from, const std::string& to)> rename;
  std::function<bool(const std::string& name)> remove;
  // Optional: the store and the rename after it in one step, where the
  // connection can do both at once; false when the rename is refused.
  std::function<bool(const std::string& localPath, const std::string& name, const std::string& renameTo)>
      storeAndRename;
  // Told the temporary name before its store begins and once it is gone
  // (renamed or removed); either may be empty.
  std::function<void(const std::string&temporary)> begun, ended;
};

// The temporary name of a file stored as name.
std::string TemporaryStoreName(const std::string& name);

class TAtomicStores {
 public:
  // note receives the one status line of a server that refuses renaming.
  explicit TAtomicStores(std::function<void(const std::string&)> note) : note_(std::move(note)) {}

  void Store(const TStoreSteps& steps, const std::string& localPath, const std::string& name);
  // Whether files are stored directly (the server refused renaming).
  bool Direct() const { return direct_.load(); }
  // The end of an atomic store whose temporary file is on the server:
  // renamed tells whether its rename over the target went through.
  void Settle(const TStoreSteps& steps, const std::string& localPath, const std::string& name, bool renamed);

 private:
  std::function<void(const std::string&)> note_;
  std::atomic<bool> direct_{false};  // the server refused renaming
};

}  // namespace tovra
