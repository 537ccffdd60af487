#include "upload/site_verify.h"

#include <memory>
#include <numeric>
#include <set>

#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/http_client.h"
#include "platform/path_pieces.h"
#include "platform/sha256.h"
#include "upload/upload_job.h"
#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {

namespace {

// Redirects followed within the site before the file counts as moved.
constexpr int kMaxHops = 5;
// A page larger than this is still compared but not read for requisites.
constexpr std::size_t kMaxPageBytes = 16u << 20;
constexpr std::size_t kMaxStyleSheetBytes = 4u << 20;

std::string SiteBase(std::string_view webUrl) {
  std::string base(webUrl);
  if (!base.ends_with('/')) base += '/';
  return base;
}

std::string PercentEncoded(std::string_view utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : utf8) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// One request of a file or requisite, with what its body has given so far.
struct TCheck {
  TVerifyResult result;
  std::string localPath;  // empty for a requisite
  std::string url;        // the address asked now (after redirects)
  int hops = 0;
  TSha256 hash;
  std::int64_t received = 0;
  bool keepBody = false;
  std::string body;
};

TVerifyKind KindOfFailure(THttpFailure failure) {
  switch (failure) {
    case THttpFailure::Timeout:
      return TVerifyKind::NoAnswer;
    case THttpFailure::Certificate:
      return TVerifyKind::Certificate;
    case THttpFailure::Aborted:
      return TVerifyKind::Aborted;
    default:
      return TVerifyKind::Unreachable;
  }
}

class TVerifyRun {
 public:
  TVerifyRun(const TVerifySettings& settings, const std::function<void(const TVerifyResult&)>& onResult)
      : settings_(settings),
        base_(SiteBase(settings.webUrl)),
        client_({settings.connections, settings.timeoutMs, settings.cancel}),
        onResult_(onResult) {}

  TVerifySummary Run(const std::vector<std::string>& files) {
    for (const std::string& file : files) AddFile(file);
    client_.Run();
    return summary_;
  }

 private:
  void AddFile(const std::string& localPath) {
    std::string rest;
    if (!PathBelowRoot(settings_.siteRoot, localPath, rest) || rest.empty()) return;
    std::string path = ReplaceAll(rest.substr(1), std::string(1, kPathSep), "/");
    if (!requested_.insert(path).second) return;
    auto check = std::make_shared<TCheck>();
    check->result.file = path;
    check->localPath = localPath;
    check->keepBody = settings_.requisites && IsPagePath(localPath);
    Start(check);
  }

  void AddRequisite(const TRequisite& requisite) {
    if (!requested_.insert(requisite.path).second) return;
    auto check = std::make_shared<TCheck>();
    check->result.file = requisite.path;
    check->result.neededBy = requisite.neededBy;
    Start(check);
  }

  void Start(const std::shared_ptr<TCheck>& check) {
    try {
      check->result.url = PublicUrl(settings_.webUrl, check->result.file);
    } catch (const EEncodingError& e) {
      check->result.kind = TVerifyKind::Unreachable;
      check->result.detail = e.what();
      Report(check->result);
      return;
    }
    check->url = check->result.url;
    Request(check);
  }

  void Request(const std::shared_ptr<TCheck>& check) {
    client_.Add({check->url,
                 [check](long status, std::string_view piece) {
                   if (status != 200) return true;
                   check->hash.Update(piece);
                   check->received += static_cast<std::int64_t>(piece.size());
                   if (check->keepBody && check->body.size() + piece.size() <= kMaxPageBytes) check->body.append(piece);
                   return true;
                 },
                 [this, check](const THttpResponse& response) { Done(check, response); }});
  }

  void Done(const std::shared_ptr<TCheck>& check, const THttpResponse& response) {
    TVerifyResult& result = check->result;
    result.status = response.status;
    if (response.failure != THttpFailure::None) {
      result.kind = KindOfFailure(response.failure);
      result.detail = response.error;
    } else if (response.status >= 300 && response.status < 400 && !response.location.empty()) {
      if (response.location.starts_with(base_) && check->hops < kMaxHops) {
        ++check->hops;
        check->url = response.location;
        check->hash.Final();
        check->received = 0;
        check->body.clear();
        Request(check);
        return;
      }
      result.kind = TVerifyKind::Moved;
      result.detail = response.location;
    } else if (response.status == 200) {
      result.remoteSize = check->received;
      Compare(*check);
      if (check->keepBody) ReadRequisites(*check);
    } else {
      result.kind = response.status >= 500 ? TVerifyKind::ServerError : TVerifyKind::NotFound;
    }
    Report(result);
  }

  void Compare(TCheck& check) {
    TVerifyResult& result = check.result;
    if (check.localPath.empty()) return;  // a requisite: 200 is all it needs
    try {
      const TSha256Digest local = Sha256OfFile(check.localPath, result.localSize);
      const bool same = result.localSize == result.remoteSize && local == check.hash.Final();
      result.kind = same ? TVerifyKind::Same : TVerifyKind::DifferentBytes;
    } catch (const ETovraError& e) {
      result.kind = TVerifyKind::LocalUnreadable;
      result.detail = e.what();
    }
  }

  void ReadRequisites(TCheck& check) {
    TStyleSheetFetch fetch = [this](const std::string& path) -> std::optional<std::string> {
      std::string body;
      THttpResponse response = client_.Fetch(PublicUrl(settings_.webUrl, path), kMaxStyleSheetBytes, body);
      if (response.failure != THttpFailure::None || response.status != 200) return std::nullopt;
      return body;
    };
    try {
      for (const TRequisite& requisite : FindPageRequisites(check.body, check.result.file, settings_.webUrl, fetch)) {
        AddRequisite(requisite);
      }
    } catch (const ETovraError&) {
      // A page the collection cannot read needs nothing that could be named.
    }
    check.body.clear();
  }

  void Report(const TVerifyResult& result) {
    summary_.Add(result.kind);
    if (onResult_) onResult_(result);
  }

  const TVerifySettings& settings_;
  std::string base_;
  THttpClient client_;
  const std::function<void(const TVerifyResult&)>& onResult_;
  TVerifySummary summary_;
  std::set<std::string> requested_;
};

std::string Number(long long n) { return std::to_string(n); }

}  // namespace

int TVerifySummary::Total() const { return std::accumulate(counts.begin(), counts.end(), 0); }

std::optional<std::string> WebUrlProblem(std::string_view webUrl) {
  const std::string url = CharTrim(std::string(webUrl));
  if (url.empty()) return std::string("WebURL が設定されていません");
  const std::string lower = CharLowerCase(url);
  const std::size_t scheme = lower.starts_with("http://") ? 7 : lower.starts_with("https://") ? 8 : 0;
  if (scheme == 0 || url.size() == scheme || url[scheme] == '/') {
    return "WebURL が http または https のアドレスではありません: " + url;
  }
  return std::nullopt;
}

std::string PublicUrl(std::string_view webUrl, std::string_view pathBelowRoot) {
  std::string url = SiteBase(CharTrim(std::string(webUrl)));
  std::size_t start = 0;
  while (start <= pathBelowRoot.size()) {
    std::size_t end = pathBelowRoot.find('/', start);
    if (end == std::string_view::npos) end = pathBelowRoot.size();
    if (start > 0) url += '/';
    // A published name CP932 cannot hold is marked: its URL is its own UTF-8 name.
    const std::string_view piece = pathBelowRoot.substr(start, end - start);
    std::string utf8;
    url += PercentEncoded(HasNameMarks(piece) && TryMarkedToUtf8(piece, utf8) ? utf8 : Cp932ToUtf8(piece));
    start = end + 1;
  }
  return url;
}

TVerifySummary VerifySite(const TVerifySettings& settings, const std::vector<std::string>& files,
                          const std::function<void(const TVerifyResult&)>& onResult) {
  TVerifySettings trimmed = settings;
  trimmed.webUrl = CharTrim(settings.webUrl);
  TVerifyRun run(trimmed, onResult);
  return run.Run(files);
}

std::string VerifyResultLine(const TVerifyResult& result) {
  std::string what;
  switch (result.kind) {
    case TVerifyKind::Same:
      what = "一致";
      break;
    case TVerifyKind::NotFound:
      what = "見つかりません (状態 " + Number(result.status) + ")";
      break;
    case TVerifyKind::DifferentBytes:
      what = "内容が違います (ローカル " + Number(result.localSize) + " バイト、サーバー " + Number(result.remoteSize) +
             " バイト)";
      break;
    case TVerifyKind::Moved:
      what = "別のアドレスに移動しています: " + result.detail;
      break;
    case TVerifyKind::ServerError:
      what = "サーバーエラー (状態 " + Number(result.status) + ")";
      break;
    case TVerifyKind::NoAnswer:
      what = "時間内に応答がありません";
      break;
    case TVerifyKind::Certificate:
      what = "証明書を確認できません: " + result.detail;
      break;
    case TVerifyKind::Unreachable:
      what = "接続できません: " + result.detail;
      break;
    case TVerifyKind::LocalUnreadable:
      what = "ローカルのファイルを読めません: " + result.detail;
      break;
    case TVerifyKind::Aborted:
      what = "中止しました";
      break;
  }
  std::string line = result.file + " (" + result.url + "): " + what;
  if (!result.neededBy.empty()) line += " [" + result.neededBy + " が必要とするファイル]";
  return line;
}

std::string VerifySummaryLine(const TVerifySummary& s) {
  auto count = [&](TVerifyKind kind) { return Number(s.Count(kind)) + " 件"; };
  return "確認 " + Number(s.Total()) + " 件: 一致 " + count(TVerifyKind::Same) + "、見つからない " +
         count(TVerifyKind::NotFound) + "、内容が違う " + count(TVerifyKind::DifferentBytes) + "、移動 " +
         count(TVerifyKind::Moved) + "、サーバーエラー " + count(TVerifyKind::ServerError) + "、応答なし " +
         count(TVerifyKind::NoAnswer) + "、証明書エラー " + count(TVerifyKind::Certificate) + "、接続エラー " +
         count(TVerifyKind::Unreachable) + "、ローカル読み込みエラー " + count(TVerifyKind::LocalUnreadable) +
         "、中止 " + count(TVerifyKind::Aborted);
}

}  // namespace tovra
