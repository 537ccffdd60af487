#include "app/host_key_prompt.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <chrono>
#include <future>
#include <memory>
#include <optional>

#include "app/japanese_texts.h"
#include "app/qt_text.h"

namespace tovra {

namespace {

constexpr auto kCancelPoll = std::chrono::milliseconds(50);

std::optional<TTrustAnswer>& NextAnswer() {
  static std::optional<TTrustAnswer> answer;
  return answer;
}

}  // namespace

TWindowHostKeyPrompt::TWindowHostKeyPrompt(QWidget* parent, TRememberPin rememberPin,
                                           const std::atomic<std::uint8_t>* cancel)
    : parent_(parent), rememberPin_(std::move(rememberPin)), cancel_(cancel) {}

void TWindowHostKeyPrompt::SetNextAnswer(TTrustAnswer answer) { NextAnswer() = answer; }

std::string TWindowHostKeyPrompt::QuestionText(const std::string& host, int port, const THostKey& key) {
  return "SFTP サーバー " + ServerName(host, port) + " のホスト鍵はまだ確認されていません。\n\n" + key.type + "\n" +
         key.fingerprint + "\n\nこの指紋がサーバーの管理者から知らされたものと同じ場合だけ、信頼してください。";
}

TTrustAnswer TWindowHostKeyPrompt::AskNow(QWidget* parent, const std::string& text, const THostKey& key,
                                          const TRememberPin& rememberPin) {
  TTrustAnswer answer = TTrustAnswer::Reject;
  if (NextAnswer()) {
    answer = *NextAnswer();
    NextAnswer().reset();
  } else {
    QMessageBox box(QMessageBox::Warning, QStr(std::string("ホスト鍵の確認")), QStr(text), QMessageBox::NoButton,
                    parent);
    QPushButton* remember = box.addButton(QStr("信頼して記憶する"), QMessageBox::AcceptRole);
    QPushButton* once = box.addButton(QStr("今回だけ信頼する"), QMessageBox::YesRole);
    QPushButton* stop = box.addButton(QStr("接続しない"), QMessageBox::RejectRole);
    box.setDefaultButton(stop);
    box.setEscapeButton(stop);
    box.exec();
    if (box.clickedButton() == remember) answer = TTrustAnswer::TrustAndRemember;
    if (box.clickedButton() == once) answer = TTrustAnswer::TrustOnce;
  }
  if (answer == TTrustAnswer::TrustAndRemember && rememberPin) rememberPin(key.fingerprint);
  return answer;
}

TTrustAnswer TWindowHostKeyPrompt::TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) {
  std::string text = QuestionText(host, port, key);
  QWidget* parent = parent_.data();
  if (parent == nullptr) return TTrustAnswer::Reject;
  if (QThread::currentThread() == parent->thread()) return AskNow(parent, text, key, rememberPin_);
  auto answer = std::make_shared<std::promise<TTrustAnswer>>();
  std::future<TTrustAnswer> result = answer->get_future();
  TRememberPin remember = rememberPin_;
  QPointer<QWidget> guard = parent_;
  QMetaObject::invokeMethod(
      parent,
      [answer, guard, text, key, remember] {
        answer->set_value(guard ? AskNow(guard.data(), text, key, remember) : TTrustAnswer::Reject);
      },
      Qt::QueuedConnection);
  while (result.wait_for(kCancelPoll) != std::future_status::ready) {
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed) == 1) return TTrustAnswer::Reject;
  }
  try {
    return result.get();
  } catch (const std::future_error&) {  // the window went before it could ask
    return TTrustAnswer::Reject;
  }
}

}  // namespace tovra
