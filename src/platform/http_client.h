// THttpClient: many GET requests over HTTP or HTTPS, at most a given number
// at once over persistent connections, each body handed on piece by piece as
// it arrives (nothing is held whole). Certificates are checked against the
// system store; a failed check is its own outcome. Redirects are not
// followed here: the response names its target and the caller decides. Every
// wait is bounded (no byte for the timeout ends the request) and the run
// stops soon after the cancel flag is set.
// Threading: one client is used by one thread; its callbacks run on that
// thread, inside Run. The cancel flag may be set from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {

enum class THttpFailure {
  None,         // the server answered (any status)
  Timeout,      // no connection or no byte within the timeout
  Certificate,  // the server's certificate did not pass the check
  Connect,      // no connection (refused, unreachable, unknown host)
  Aborted,      // the cancel flag was set
  Other,        // any other failure of the exchange
};

struct THttpResponse {
  THttpFailure failure = THttpFailure::None;
  long status = 0;
  std::string location;  // the absolute target of a redirect, when the answer is one
  std::string error;     // the failure in words (empty when none)
};

struct THttpRequest {
  std::string url;  // absolute, percent-encoded
  // Each piece of the body, with the response's status; false stops the
  // request (it then ends as a failure of kind Other).
  std::function<bool(long status, std::string_view piece)> onBody;
  std::function<void(const THttpResponse&)> onDone;
};

struct THttpOptions {
  int connections = 1;    // requests at once (and connections kept), at least 1
  int timeoutMs = 60000;  // the longest wait for a connection or for any byte
  const std::atomic<std::uint8_t>* cancel = nullptr;
};

class THttpClient {
 public:
  explicit THttpClient(const THttpOptions& options);
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // Queues a request; may be called from a callback during Run.
  void Add(THttpRequest request);
  // Runs until every queued request has ended, including those added on the
  // way. After a cancel every request still open or queued ends as Aborted.
  void Run();
  // One request run alone to its end (as Run does it): the body, up to
  // maxBytes (a longer body ends as a failure of kind Other).
  THttpResponse Fetch(const std::string& url, std::size_t maxBytes, std::string& body);
  // The connections Run has opened so far (a kept one is not counted again).
  long ConnectionsOpened() const { return connectionsOpened_; }

 private:
  struct Transfer;
  void StartQueued();
  void FinishDone();
  bool Cancelled() const;

  THttpOptions options_;
  void* multi_ = nullptr;
  long connectionsOpened_ = 0;
  std::deque<THttpRequest> queue_;
  std::vector<std::unique_ptr<Transfer>> idle_;    // easy handles kept for reuse
  std::vector<std::unique_ptr<Transfer>> active_;  // in the multi handle
};

}  // namespace tovra
