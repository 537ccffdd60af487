#include "app/failure_text.h"

#include "ftp/id_exceptions.h"
#include "platform/socket_errors.h"

namespace tovra {

namespace {

constexpr int kConnectionRefused = 10061;
constexpr int kTimedOut = 10060;
constexpr int kNetworkUnreachable = 10051;
constexpr int kHostUnreachable = 10065;
constexpr int kHostNotFound = 11001;
constexpr int kNotLoggedIn = 530;

const char* SocketSentence(int code) {
  switch (code) {
    case kConnectionRefused:
      return "サーバーに接続できませんでした。サーバーが動いているか、ポート番号が正しいかを確かめてください。";
    case kHostNotFound:
      return "サーバーが見つかりませんでした。ホスト名が正しいかを確かめてください。";
    case kTimedOut:
    case kNetworkUnreachable:
    case kHostUnreachable:
      return "サーバーに届きませんでした。ホスト名とネットワークの接続を確かめてください。";
    default:
      return "サーバーとの通信が切れました。ネットワークの接続とサーバーの状態を確かめてください。";
  }
}

const char* Sentence(const std::exception& e) {
  if (const auto* socket = dynamic_cast<const EIdSocketError*>(&e)) return SocketSentence(socket->LastError());
  if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&e)) {
    if (reply->ReplyErrorCode() == kNotLoggedIn)
      return "サーバーにログインできませんでした。ユーザ名とパスワードを確かめてください。";
    return "サーバーが要求を受け付けませんでした。";
  }
  if (dynamic_cast<const EIdReadTimeout*>(&e) != nullptr || dynamic_cast<const EIdAcceptTimeout*>(&e) != nullptr)
    return "サーバーから応答がありませんでした。サーバーの状態とネットワークの接続を確かめてください。";
  if (dynamic_cast<const EIdConnClosedGracefully*>(&e) != nullptr ||
      dynamic_cast<const EIdClosedSocket*>(&e) != nullptr)
    return "サーバーが接続を切りました。サーバーの状態を確かめてください。";
  return nullptr;
}

}  // namespace

std::string ExplainedFailure(const std::exception& e) {
  const char* sentence = Sentence(e);
  return sentence == nullptr ? std::string(e.what()) : std::string(sentence) + "\n" + e.what();
}

}  // namespace tovra
