// The window's question about an unknown SFTP host key, asked from a
// transfer thread: the box shows the fingerprint, "trust and remember"
// writes the pin on the UI thread, "stop" refuses, and a cancelled run stops
// waiting for the box.
#include "app/host_key_prompt.h"

#include <QMessageBox>
#include <QPushButton>
#include <QtTest/QtTest>
#include <atomic>
#include <thread>

#include "app/qt_text.h"
#include "gui_test_support.h"

using namespace tovra;
using tovra::test::WhenModal;

namespace {

const THostKey kKey{"ssh-ed25519", "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU"};

// Clicks the button of the showing box whose text is `label`.
void Click(const char* label) {
  WhenModal([label](QWidget* modal) {
    for (auto* button : modal->findChildren<QPushButton*>()) {
      if (button->text() == QStr(label)) button->click();
    }
  });
}

}  // namespace

class HostKeyPromptTest : public QObject {
  Q_OBJECT

 private:
  // Asks from a worker thread while the UI thread runs its loop.
  TTrustAnswer AskFromWorker(TWindowHostKeyPrompt& prompt) {
    std::atomic<bool> done{false};
    TTrustAnswer answer = TTrustAnswer::TrustOnce;
    std::thread worker([&] {
      answer = prompt.TrustUnknownHostKey("example.test", 2222, kKey);
      done = true;
    });
    bool answered = QTest::qWaitFor([&] { return done.load(); }, 10000);
    worker.join();  // the worker gives up only through the cancel flag
    return answered ? answer : TTrustAnswer::TrustOnce;
  }

 private slots:
  void TheAnswersOfTheBox() {
    struct Row {
      const char* button;
      TTrustAnswer expected;
      bool remembers;
    } rows[] = {
        {"信頼して記憶する", TTrustAnswer::TrustAndRemember, true},
        {"今回だけ信頼する", TTrustAnswer::TrustOnce, false},
        {"接続しない", TTrustAnswer::Reject, false},
    };
    QWidget window;
    window.show();
    for (const auto& row : rows) {
      std::string remembered;
      Qt::HANDLE rememberedOn = nullptr;
      TWindowHostKeyPrompt prompt(
          &window,
          [&](const std::string& fingerprint) {
            remembered = fingerprint;
            rememberedOn = QThread::currentThreadId();
          },
          nullptr);
      QString shown, title, fingerprint;
      WhenModal([&](QWidget* modal) {
        shown = static_cast<QMessageBox*>(modal)->text();
        title = modal->windowTitle();
        fingerprint = test::ShownWhole(modal, QStr(kKey.fingerprint));
      });
      Click(row.button);
      QCOMPARE(AskFromWorker(prompt), row.expected);
      QCOMPARE(fingerprint, QStr(kKey.fingerprint));
      QVERIFY(shown.contains(QStr("example.test:2222")));
      QCOMPARE(title, QStr("ホスト鍵の確認"));
      QCOMPARE(remembered, row.remembers ? kKey.fingerprint : std::string());
      if (row.remembers) QCOMPARE(rememberedOn, QThread::currentThreadId());
    }
  }

  void ACancelledRunStopsWaitingForTheBox() {
    QWidget window;
    window.show();
    std::atomic<std::uint8_t> cancel{0};
    std::atomic<bool> done{false};
    bool doneWhileShowing = false;
    TWindowHostKeyPrompt prompt(&window, nullptr, &cancel);
    // The abort button while the box shows: the worker ends without an answer.
    WhenModal([&](QWidget* modal) {
      cancel = 1;
      for (int i = 0; i < 200 && !done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      doneWhileShowing = done.load() && modal->isVisible();
      static_cast<QMessageBox*>(modal)->reject();
    });
    TTrustAnswer answer = TTrustAnswer::TrustOnce;
    std::thread worker([&] {
      answer = prompt.TrustUnknownHostKey("example.test", 22, kKey);
      done = true;
    });
    QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    QCOMPARE(answer, TTrustAnswer::Reject);
    QVERIFY(doneWhileShowing);
  }
};

QTEST_MAIN(HostKeyPromptTest)
#include "host_key_prompt_test.moc"
