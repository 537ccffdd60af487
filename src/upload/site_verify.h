// The check of a site as its visitors see it: every file is requested at its
// public address (the site's WebURL followed by the file's path below the
// site root) and must answer 200 with the local file's bytes (size, then
// SHA-256, compared as the body streams). With requisites, each page as the
// server gives it is read for the files it needs, which must answer 200 too.
// Redirects are followed only within the site's own address.
// Threading: a run works on its caller's thread and calls onResult there;
// the cancel flag may be set from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "upload/page_requisites.h"

namespace tovra {

enum class TVerifyKind {
  Same,             // 200 and the same bytes (or, for a requisite, 200)
  NotFound,         // a status other than 200 below 500, redirects aside
  DifferentBytes,   // 200 with other bytes
  Moved,            // a redirect out of the site's address
  ServerError,      // a status of 500 or more
  NoAnswer,         // no connection or no byte in time
  Certificate,      // the server's certificate did not pass the check
  Unreachable,      // no connection, or another failure of the exchange
  LocalUnreadable,  // the local file could not be read
  Aborted,          // the check was cut short
};
inline constexpr std::size_t kVerifyKindCount = 10;

struct TVerifyResult {
  std::string file;      // the path below the site root, "/"-separated (CP932)
  std::string url;       // the address requested first
  std::string neededBy;  // for a requisite: the page or style sheet that needs it; else empty
  TVerifyKind kind = TVerifyKind::Same;
  long status = 0;
  std::int64_t localSize = -1;   // -1: not known
  std::int64_t remoteSize = -1;  // the body's size
  std::string detail;            // the redirect target or the failure in words
};

struct TVerifySummary {
  std::array<int, kVerifyKindCount> counts{};
  void Add(TVerifyKind kind) { ++counts[static_cast<std::size_t>(kind)]; }
  int Count(TVerifyKind kind) const { return counts[static_cast<std::size_t>(kind)]; }
  int Total() const;
  bool AnyDifference() const { return Total() != Count(TVerifyKind::Same); }
};

struct TVerifySettings {
  std::string webUrl;    // the site's WebURL
  std::string siteRoot;  // the local site root (CP932)
  int connections = 1;
  int timeoutMs = 60000;
  bool requisites = false;
  const std::atomic<std::uint8_t>* cancel = nullptr;
};

// Why the WebURL cannot be checked ("WebURL が設定されていません", or one
// that is not an http or https address); nothing when it can.
std::optional<std::string> WebUrlProblem(std::string_view webUrl);

// The public address of a path below the site root ("/"-separated, CP932):
// the WebURL with one "/" at the joint, then each piece as UTF-8,
// percent-encoded. Throws EEncodingError when a piece cannot be converted.
std::string PublicUrl(std::string_view webUrl, std::string_view pathBelowRoot);

// Checks the files (local absolute paths below the site root; others are
// passed over) and reports each one, and each requisite, once through
// onResult, in the order they end. Returns the counts.
TVerifySummary VerifySite(const TVerifySettings& settings, const std::vector<std::string>& files,
                          const std::function<void(const TVerifyResult&)>& onResult);

// One line for a result that differs: the file, its address and what
// differs. The summary line counts each kind.
std::string VerifyResultLine(const TVerifyResult& result);
std::string VerifySummaryLine(const TVerifySummary& summary);

}  // namespace tovra
