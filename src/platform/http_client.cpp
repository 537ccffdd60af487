#include "platform/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace tovra {

namespace {

// How often a run looks at the cancel flag while it waits for its sockets.
constexpr int kPollMs = 100;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("libcurl could not start");
  });
}

THttpFailure FailureOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return THttpFailure::None;
    case CURLE_OPERATION_TIMEDOUT:
      return THttpFailure::Timeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return THttpFailure::Certificate;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return THttpFailure::Connect;
    case CURLE_ABORTED_BY_CALLBACK:
      return THttpFailure::Aborted;
    default:
      return THttpFailure::Other;
  }
}

}  // namespace

struct THttpClient::Transfer {
  CURL* easy = nullptr;
  THttpRequest request;
  const std::atomic<std::uint8_t>* cancel = nullptr;
  bool stopped = false;  // the body callback asked to stop
  char error[CURL_ERROR_SIZE] = {};

  explicit Transfer(const THttpOptions& options) : easy(curl_easy_init()), cancel(options.cancel) {
    if (easy == nullptr) throw std::runtime_error("libcurl could not make a request");
  }
  ~Transfer() { curl_easy_cleanup(easy); }

  static size_t OnWrite(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    if (t->request.onBody && !t->request.onBody(status, std::string_view(data, size * count))) {
      t->stopped = true;
      return 0;
    }
    return size * count;
  }
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(self);
    return t->cancel != nullptr && t->cancel->load(std::memory_order_relaxed) != 0 ? 1 : 0;
  }

  // Options are set again for each request: curl_easy_reset would also drop
  // the handle's connection, which the next request to the host reuses.
  void Prepare(THttpRequest next, const THttpOptions& options) {
    request = std::move(next);
    stopped = false;
    error[0] = '\0';
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Tovra");
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeoutMs));
    // No byte for the timeout ends the request (the granularity is a second).
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>((options.timeoutMs + 999) / 1000)));
  }

  THttpResponse Response(CURLcode code) const {
    THttpResponse response;
    response.failure = stopped ? THttpFailure::Other : FailureOf(code);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
    char* location = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location != nullptr) {
      response.location = location;
    }
    if (response.failure != THttpFailure::None) response.error = error[0] != '\0' ? error : curl_easy_strerror(code);
    return response;
  }
};

THttpClient::THttpClient(const THttpOptions& options) : options_(options) {
  options_.connections = std::max(1, options_.connections);
  InitCurlOnce();
  multi_ = curl_multi_init();
  if (multi_ == nullptr) throw std::runtime_error("libcurl could not start a run");
  curl_multi_setopt(multi_, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(options_.connections));
  curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, static_cast<long>(options_.connections));
}

THttpClient::~THttpClient() {
  for (auto& t : active_) curl_multi_remove_handle(multi_, t->easy);
  active_.clear();
  idle_.clear();
  curl_multi_cleanup(multi_);
}

void THttpClient::Add(THttpRequest request) { queue_.push_back(std::move(request)); }

bool THttpClient::Cancelled() const {
  return options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed) != 0;
}

void THttpClient::StartQueued() {
  while (!queue_.empty() && static_cast<int>(active_.size()) < options_.connections) {
    std::unique_ptr<Transfer> t;
    if (idle_.empty()) {
      t = std::make_unique<Transfer>(options_);
    } else {
      t = std::move(idle_.back());
      idle_.pop_back();
    }
    t->Prepare(std::move(queue_.front()), options_);
    queue_.pop_front();
    curl_multi_add_handle(multi_, t->easy);
    active_.push_back(std::move(t));
  }
}

void THttpClient::FinishDone() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    auto it =
        std::find_if(active_.begin(), active_.end(), [&](const auto& t) { return t->easy == message->easy_handle; });
    if (it == active_.end()) continue;
    std::unique_ptr<Transfer> t = std::move(*it);
    active_.erase(it);
    const CURLcode code = message->data.result;
    curl_multi_remove_handle(multi_, t->easy);
    long opened = 0;
    if (curl_easy_getinfo(t->easy, CURLINFO_NUM_CONNECTS, &opened) == CURLE_OK) connectionsOpened_ += opened;
    THttpResponse response = t->Response(code);
    THttpRequest request = std::move(t->request);
    idle_.push_back(std::move(t));
    if (request.onDone) request.onDone(response);
  }
}

void THttpClient::Run() {
  StartQueued();
  while (!active_.empty()) {
    int running = 0;
    curl_multi_perform(multi_, &running);
    FinishDone();
    if (Cancelled()) break;
    StartQueued();
    if (active_.empty()) break;
    curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
  }
  // Cancelled: whatever is open or queued ends as aborted, in order.
  THttpResponse aborted{THttpFailure::Aborted, 0, "", "aborted"};
  while (!active_.empty()) {
    std::unique_ptr<Transfer> t = std::move(active_.front());
    active_.erase(active_.begin());
    curl_multi_remove_handle(multi_, t->easy);
    if (t->request.onDone) t->request.onDone(aborted);
    idle_.push_back(std::move(t));
  }
  while (!queue_.empty()) {
    THttpRequest request = std::move(queue_.front());
    queue_.pop_front();
    if (request.onDone) request.onDone(aborted);
  }
}

THttpResponse THttpClient::Fetch(const std::string& url, std::size_t maxBytes, std::string& body) {
  body.clear();
  THttpResponse result{THttpFailure::Aborted, 0, "", "aborted"};
  THttpClient single(options_);
  single.Add({url,
              [&](long, std::string_view piece) {
                if (body.size() + piece.size() > maxBytes) return false;
                body.append(piece);
                return true;
              },
              [&](const THttpResponse& response) { result = response; }});
  single.Run();
  return result;
}

}  // namespace tovra
