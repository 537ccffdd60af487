// TUploadPlan: what a preparation hands to the transfer run, fixed once the
// upload list is final: every file with its remote place, the site root,
// the connection records, the extended settings and the options. The run
// reads nothing else, so the window may change its site or its records while
// files are on their way. Immutable once built; shared between threads as a
// const value.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/dmFtp.h"
#include "html/missing_files.h"
#include "sites/extended_settings.h"
#include "upload/page_rewriter.h"
#include "util/string_list.h"

namespace tovra {

// The option check boxes of the main window.
struct TUploadOptions {
  bool cxOnly = false;     // the selection only, without dependency analysis
  RewriteOptions rewrite;  // page rewriting steps
};

// The site an upload goes to, read by the front end (on its UI thread) when
// the upload button is pressed.
struct TUploadSite {
  std::string root;  // the profile's LocalRootDir
  THostInfo host;
  THostInfo proxy;  // Port 0: no proxy
  TExtendedSettings extended;
  std::string name{};  // the site's name: where a remembered setting is written
  // The waits of every connection of the run.
  int readTimeoutMs = kDefaultReadTimeoutMs;
  int acceptTimeoutMs = kDefaultAcceptTimeoutMs;
  std::string webUrl = {};  // the profile's WebURL, the site's public address
};

struct TPlannedFile {
  std::string localPath;
  std::string remoteName;  // the file name sent with STOR
  // The folder below the server's home folder, with "/" around it ("/" for
  // the site root, "/img/" below it); none for a file outside the site root,
  // which is not sent.
  std::optional<std::string> folderBelowHome;
  std::int64_t size = 0;  // at planning time; 0 when it could not be read
};

struct TUploadPlan {
  std::vector<TPlannedFile> files;  // in upload list order
  // The files from this index on go only once every file before it has
  // arrived (a publish's pages after what they use); none arrives when one
  // before it failed. Past the end: no such wait.
  std::size_t holdFrom = static_cast<std::size_t>(-1);
  std::string siteRoot;
  std::string siteName;
  THostInfo host;
  THostInfo proxy;
  TExtendedSettings extended;
  // What every FTP session of the run is set up with, resolved from the
  // extended settings once.
  TFtpConnectionSettings connection;
  int readTimeoutMs = kDefaultReadTimeoutMs;
  int acceptTimeoutMs = kDefaultAcceptTimeoutMs;
  TUploadOptions options;
  // Dropped from the list by the preparation, by reason: not on the disk,
  // outside the site, a name CP932 cannot hold, a letter case that differs.
  int missingFiles = 0;
  int outsideFiles = 0;
  int unrepresentableFiles = 0;
  int caseFiles = 0;
  std::string webUrl;  // where the site's files are public

  std::int64_t TotalBytes() const;
  // Whether the absent-key behaviour applies: one connection per file.
  bool OneConnectionPerFile() const { return !extended.ReuseConnection() && extended.Connections() == 1; }
};

// The plan for the final upload list of a preparation; `missingFiles`
// counts the files not on the disk.
std::shared_ptr<const TUploadPlan> BuildUploadPlan(const TStringList& list, const TUploadSite& site,
                                                   const TUploadOptions& options, int missingFiles);
// The same, with the dropped files counted by their reasons.
std::shared_ptr<const TUploadPlan> BuildUploadPlan(const TStringList& list, const TUploadSite& site,
                                                   const TUploadOptions& options, const TMissingFiles& dropped);

// The absolute remote folder of a planned file for a session whose home
// folder is home (as the server's PWD gave it), ending in "/"; empty for a
// file outside the site root. A home of "/" gives "/img/", not "//img/".
std::string RemoteFolderOf(const TPlannedFile& file, const std::string& home);

}  // namespace tovra
