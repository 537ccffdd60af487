#include "app/host_key_prompt.h"

#include "app/japanese_texts.h"
#include "app/trust_question.h"

namespace tovra {

TWindowHostKeyPrompt::TWindowHostKeyPrompt(QWidget* parent, TRememberPin rememberPin,
                                           const std::atomic<std::uint8_t>* cancel)
    : parent_(parent), rememberPin_(std::move(rememberPin)), cancel_(cancel) {}

std::string TWindowHostKeyPrompt::QuestionText(const std::string& host, int port, const THostKey& key) {
  return "SFTP サーバー " + ServerName(host, port) + " のホスト鍵はまだ確認されていません。\n\n" + key.type + "\n" +
         FingerprintLines(key.fingerprint) +
         "\n\nこの指紋がサーバーの管理者から知らされたものと同じ場合だけ、信頼してください。";
}

TTrustAnswer TWindowHostKeyPrompt::AskNow(QWidget* parent, const std::string& text, const THostKey& key,
                                          const TRememberPin& rememberPin) {
  TTrustAnswer answer = AskTrustBox(parent, "ホスト鍵の確認", text, {});
  if (answer == TTrustAnswer::TrustAndRemember && rememberPin) rememberPin(key.fingerprint);
  return answer;
}

TTrustAnswer TWindowHostKeyPrompt::TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) {
  std::string text = QuestionText(host, port, key);
  QWidget* parent = parent_.data();
  if (parent == nullptr) return TTrustAnswer::Reject;
  TRememberPin remember = rememberPin_;
  QPointer<QWidget> guard = parent_;
  return AskOnUiThreadAndWait(parent, cancel_, [guard, text, key, remember] {
    return guard ? AskNow(guard.data(), text, key, remember) : TTrustAnswer::Reject;
  });
}

}  // namespace tovra
