// The publish plan: the whole local site folder compared with the site's
// publish record. A file is new when the record does not hold it, unchanged
// when its size and modification time are those recorded, and otherwise
// decided by the SHA-256 of its content: a touched but identical file is
// unchanged (its new time goes to the record without sending), a different
// one changed. With rehash every recorded file's content is compared, which
// catches a change that kept both size and time. Recorded files that are
// gone (or now excluded) are deletions. Uploads come in the order they are
// to be sent: every file that is not a page first, then the pages (".htm",
// ".html" in any letter case), each group by path.
// A name the disk holds and CP932 cannot (café.html, 〜.png) is in the plan
// as a marked name (platform/encoding.h): it can be sent only to a server
// that keeps UTF-8 names, and only under its own name.
// Building reads the file system only; the plan is a plain value.
#pragma once

#include <string>
#include <vector>

#include "upload/publish_exclude.h"
#include "upload/publish_record.h"

namespace tovra {

enum class TPublishChange { New, Changed };

struct TPublishUpload {
  TPublishedFile file;  // as it will be recorded; sha256 empty when not yet read
  TPublishChange change = TPublishChange::New;
};

struct TPublishPlan {
  std::string root;                     // the site folder, without a trailing separator
  std::vector<TPublishUpload> uploads;  // in sending order
  std::vector<TPublishedFile> deletions;
  std::vector<TPublishedFile> touched;  // same content, new time: recorded, not sent
  int unchanged = 0;                    // touched ones included
  int Count(TPublishChange change) const;
  bool NothingToSend() const { return uploads.empty(); }
};

// How the site's server takes names CP932 cannot hold, as far as it is known
// before connecting: never (CP932 names), as they are (UTF-8 names), or as
// the FTP server agrees at login (RemoteNameEncoding auto).
enum class TServerNames { Cp932, Utf8, AtLogin };

// Whether the path holds a name CP932 cannot hold (a marked name).
bool NeedsUtf8Names(const std::string& path);

// root: the site folder (CP932). Throws EFileError when it cannot be read.
TPublishPlan BuildPublishPlan(const std::string& root, const TPublishRecord& record,
                              const TPublishExclusions& exclusions, bool rehash);

// Whether the path names a page: its extension is ".htm" or ".html" in any
// letter case.
bool IsPublishedPage(const std::string& path);

// The local file of a plan's path.
std::string LocalPathOf(const TPublishPlan& plan, const std::string& path);

}  // namespace tovra
