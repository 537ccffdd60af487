#include "upload/atomic_store.h"

#include "upload/publish_exclude.h"

namespace tovra {

std::string TemporaryStoreName(const std::string& name) { return kTemporaryStorePrefix + name; }

void TAtomicStores::Store(const TStoreSteps& steps, const std::string& localPath, const std::string& name) {
  if (direct_.load()) return steps.store(localPath, name);
  const std::string temporary = TemporaryStoreName(name);
  if (steps.begun) steps.begun(temporary);
  bool renamed = false;
  if (steps.storeAndRename) {
    renamed = steps.storeAndRename(localPath, temporary, name);
  } else {
    steps.store(localPath, temporary);
    renamed = steps.rename(temporary, name);
  }
  Settle(steps, localPath, name, renamed);
}

void TAtomicStores::Settle(const TStoreSteps& steps, const std::string& localPath, const std::string& name,
                           bool renamed) {
  const std::string temporary = TemporaryStoreName(name);
  renamed = renamed || (steps.remove(name) && steps.rename(temporary, name));
  if (renamed) {
    if (steps.ended) steps.ended(temporary);
    return;
  }
  // A temporary file that cannot be removed stays recorded for the next publish.
  if (steps.remove(temporary) && steps.ended) steps.ended(temporary);
  if (!direct_.exchange(true)) note_("サーバーが名前の変更を受け付けないため、ファイルを直接書き込みます");
  steps.store(localPath, name);
}

}  // namespace tovra
