// TRunHooks: what a transfer run may ask of its front end besides the upload
// view: the cancel flag, the certificate and host key questions, the protocol
// trace and the writing of a setting into the run's site. Every hook is
// called from the run's session threads, possibly from several at once, so
// each must be thread-safe; the run reads nothing else of the front end.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace tovra {

class ICertificateTrust;
class IHostKeyPrompt;

struct TRunHooks {
  // 1 stops the run (the front end stores it from any thread); the run
  // stores 0 when it starts. nullptr: the job's own flag.
  std::atomic<std::uint8_t>* cancel = nullptr;
  // Asked about a certificate no store or pin trusts; nullptr: refused.
  ICertificateTrust* certificateTrust = nullptr;
  // Asked about an SFTP host key no pin or known_hosts vouches for; nullptr: refused.
  IHostKeyPrompt* hostKeyPrompt = nullptr;
  // Every command and reply line of every FTP session ('>' sent, '<' read).
  std::function<void(char, const std::string&)> trace;
  // Stores key=value in the extended settings of the named site's profile
  // ("trust and remember", a site found to speak TLS). Unset: nothing is kept.
  std::function<void(const std::string& site, const std::string& key, const std::string& value)> remember;
};

}  // namespace tovra
