#include "app/trust_question.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

#include "app/qt_text.h"

namespace tovra {

namespace {

constexpr auto kCancelPoll = std::chrono::milliseconds(50);

std::mutex& NextAnswerMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<TTrustAnswer>& NextAnswer() {
  static std::optional<TTrustAnswer> answer;
  return answer;
}

std::optional<TTrustAnswer> TakeNextAnswer() {
  std::lock_guard lock(NextAnswerMutex());
  std::optional<TTrustAnswer> answer = NextAnswer();
  NextAnswer().reset();
  return answer;
}

}  // namespace

std::string FingerprintLines(const std::string& fingerprint) {
  constexpr std::size_t kHexLine = 8 * 3;  // "5B:33:24:77:A1:B9:8D:CD:"
  constexpr std::size_t kLongestLine = 32;
  std::size_t line = kHexLine;
  if (fingerprint.size() < 3 || fingerprint[2] != ':') {
    const std::size_t lines = (fingerprint.size() + kLongestLine - 1) / kLongestLine;
    line = lines <= 1 ? kLongestLine : (fingerprint.size() + lines - 1) / lines;
  }
  std::string shown;
  for (std::size_t at = 0; at < fingerprint.size(); at += line) {
    if (at != 0) shown += '\n';
    shown += fingerprint.substr(at, line);
  }
  return shown;
}

void SetNextTrustAnswer(TTrustAnswer answer) {
  std::lock_guard lock(NextAnswerMutex());
  NextAnswer() = answer;
}

TTrustAnswer AskTrustBox(QWidget* parent, const std::string& title, const std::string& question,
                         const std::string& details) {
  if (std::optional<TTrustAnswer> given = TakeNextAnswer()) return *given;
  QMessageBox box(QMessageBox::Warning, QStr(title), QStr(question), QMessageBox::NoButton, parent);
  if (!details.empty()) box.setInformativeText(QStr(details));
  QPushButton* remember = box.addButton(QStr(std::string("信頼して記憶する")), QMessageBox::AcceptRole);
  QPushButton* once = box.addButton(QStr(std::string("今回だけ信頼する")), QMessageBox::YesRole);
  QPushButton* stop = box.addButton(QStr(std::string("接続しない")), QMessageBox::RejectRole);
  box.setDefaultButton(stop);
  box.setEscapeButton(stop);
  box.exec();
  if (box.clickedButton() == remember) return TTrustAnswer::TrustAndRemember;
  if (box.clickedButton() == once) return TTrustAnswer::TrustOnce;
  return TTrustAnswer::Reject;
}

void PostToThreadOf(QObject* context, std::function<void()> call) {
  // The queued call is handed over inside the toolkit, which the thread
  // sanitizer cannot see into; the lock held while posting and taken first by
  // the call orders the hand-over where it can be seen.
  static std::mutex handOver;
  std::lock_guard<std::mutex> posting(handOver);
  QMetaObject::invokeMethod(
      context,
      [call = std::move(call)] {
        { std::lock_guard<std::mutex> taken(handOver); }
        call();
      },
      Qt::QueuedConnection);
}

TTrustAnswer AskOnUiThreadAndWait(QObject* context, const std::atomic<std::uint8_t>* cancel,
                                  std::function<TTrustAnswer()> ask) {
  if (QThread::currentThread() == context->thread()) return ask();
  // The promise lives in the queued call only: a context that goes before
  // the call runs drops it unanswered, which ends the wait below.
  auto answer = std::make_shared<std::promise<TTrustAnswer>>();
  std::future<TTrustAnswer> result = answer->get_future();
  PostToThreadOf(context, [answer, ask = std::move(ask)] { answer->set_value(ask()); });
  while (result.wait_for(kCancelPoll) != std::future_status::ready) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed) == 1) return TTrustAnswer::Reject;
  }
  try {
    return result.get();
  } catch (const std::future_error&) {
    return TTrustAnswer::Reject;
  }
}

}  // namespace tovra
