#include "app/certificate_prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "app/qt_text.h"
#include "util/errors.h"

namespace tovra {

TTrustAnswer AskCertificateTrust(QWidget* parent, const std::string& host, const TCertificateInfo& certificate) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(QStr(std::string("サーバ証明書の確認")));
  box.setText(QStr(FormatMessage("%s のサーバ証明書は信頼されていません (%s)。\nこのサーバに接続しますか。",
                                 {host, certificate.Problem})));
  box.setInformativeText(QStr(FormatMessage(
      "主体: %s\n発行者: %s\n有効期間: %s - %s\nSHA-256 指紋:\n%s",
      {certificate.Subject, certificate.Issuer, certificate.NotBefore, certificate.NotAfter, certificate.Sha256})));
  QPushButton* remember = box.addButton(QStr(std::string("信頼して記憶する")), QMessageBox::AcceptRole);
  QPushButton* once = box.addButton(QStr(std::string("今回だけ信頼する")), QMessageBox::YesRole);
  QPushButton* reject = box.addButton(QStr(std::string("接続しない")), QMessageBox::RejectRole);
  box.setDefaultButton(reject);
  box.setEscapeButton(reject);
  box.exec();
  if (box.clickedButton() == remember) return TTrustAnswer::TrustAndRemember;
  if (box.clickedButton() == once) return TTrustAnswer::TrustOnce;
  return TTrustAnswer::Reject;
}

TTrustAnswer TCertificatePrompt::AskTrust(const std::string& host, const TCertificateInfo& certificate) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<TTrustAnswer> answer;
  };
  auto shared = std::make_shared<Shared>();
  auto ask = [this, shared, host, certificate] {
    TTrustAnswer answer = AskCertificateTrust(parent_, host, certificate);
    if (answer == TTrustAnswer::TrustAndRemember && remember_) remember_(certificate.Sha256);
    std::lock_guard lock(shared->mutex);
    shared->answer = answer;
    shared->done.notify_all();
  };
  if (QThread::currentThread() == qApp->thread()) {
    ask();
    return *shared->answer;
  }
  QMetaObject::invokeMethod(qApp, ask, Qt::QueuedConnection);
  // Waited in slices: a cancel of the run (abort, closing the window) must
  // not leave this thread waiting for a box nobody answers.
  std::unique_lock lock(shared->mutex);
  while (!shared->answer) {
    if (cancel_.load(std::memory_order_relaxed) == 1) return TTrustAnswer::Reject;
    shared->done.wait_for(lock, std::chrono::milliseconds(100));
  }
  return *shared->answer;
}

}  // namespace tovra
