// The window's question about an untrusted certificate: what the box shows,
// what each button answers, the transfer thread's wait for it, and the
// window storing a remembered fingerprint as the site's pin.
#include "app/certificate_prompt.h"

#include <QMessageBox>
#include <QPushButton>
#include <QtTest/QtTest>
#include <atomic>
#include <thread>

#include "app/WebFTP00.h"
#include "app/app_modules.h"
#include "app/host_key_prompt.h"
#include "app/qt_text.h"
#include "app/trust_question.h"
#include "ftp/dmFtp.h"
#include "gui_test_support.h"
#include "platform/files.h"
#include "upload/run_certificate_trust.h"
#include "upload/upload_job.h"

using namespace tovra;

namespace {

TCertificateInfo SelfSigned() {
  TCertificateInfo c;
  c.Subject = "CN=localhost";
  c.Issuer = "CN=localhost";
  c.NotBefore = "2026-12-08 00:00:00 UTC";
  c.NotAfter = "2027-01-07 00:00:00 UTC";
  c.Sha256 = "5B:33:24:77:A1:B9:8D:CD:F6:55:D5:64:5A:45:59:8A:EC:E0:5B:2E:DB:53:AD:5B:58:E4:7B:A7:38:98:F5:60";
  c.Problem = "self-signed certificate";
  return c;
}

// Clicks the button with the given text in the next question box, and
// records the box's texts and the fingerprint as it can be read there.
void ClickWhenShown(const QString& button, QString* shown, QString* fingerprint = nullptr) {
  QTimer::singleShot(50, [button, shown, fingerprint] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr || !box->isVisible()) continue;
      if (shown != nullptr) *shown = box->windowTitle() + "\n" + box->text() + "\n" + box->informativeText();
      if (fingerprint != nullptr) *fingerprint = test::ShownWhole(box, QString::fromStdString(SelfSigned().Sha256));
      if (button.isEmpty()) {
        box->reject();
        return;
      }
      for (QAbstractButton* b : box->buttons()) {
        if (b->text() == button) {
          b->click();
          return;
        }
      }
    }
    ClickWhenShown(button, shown);
  });
}

}  // namespace

class CertificatePromptTest : public QObject {
  Q_OBJECT

 private slots:
  void eachButtonGivesItsAnswer_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("remember") << QStr(std::string("信頼して記憶する")) << int(TTrustAnswer::TrustAndRemember);
    QTest::newRow("once") << QStr(std::string("今回だけ信頼する")) << int(TTrustAnswer::TrustOnce);
    QTest::newRow("refuse") << QStr(std::string("接続しない")) << int(TTrustAnswer::Reject);
    QTest::newRow("closed") << QString() << int(TTrustAnswer::Reject);
  }
  void eachButtonGivesItsAnswer() {
    QFETCH(QString, button);
    QFETCH(int, answer);
    QString shown, fingerprint;
    ClickWhenShown(button, &shown, &fingerprint);
    TTrustAnswer got = AskCertificateTrust(nullptr, "ftp.example.jp", SelfSigned());
    QCOMPARE(int(got), answer);
    // Whole, in lines that fit the box.
    QCOMPARE(fingerprint, QString::fromStdString(SelfSigned().Sha256));
    QVERIFY(shown.contains("ftp.example.jp"));
    QVERIFY(shown.contains("CN=localhost"));
    QVERIFY(shown.contains("2027-01-07"));
    // One spelling, as everywhere in the window.
    QVERIFY2(shown.startsWith(QStr("サーバー証明書の確認\n")), qPrintable(shown));
    QVERIFY2(!shown.contains(QRegularExpression(QStr("サーバ(?!ー)"))), qPrintable(shown));
  }

  void transferThreadWaitsAndRememberRunsOnTheUiThread() {
    std::atomic<std::uint8_t> cancel{0};
    std::string pinned;
    bool onUiThread = false;
    TCertificatePrompt prompt(nullptr, cancel, [&](const std::string& pin) {
      pinned = pin;
      onUiThread = QThread::currentThread() == qApp->thread();
    });
    std::atomic<int> answer{-1};
    ClickWhenShown(QStr(std::string("信頼して記憶する")), nullptr);
    std::thread transfer([&] { answer = int(prompt.AskTrust("ftp.example.jp", SelfSigned())); });
    QTRY_VERIFY_WITH_TIMEOUT(answer != -1, 5000);
    transfer.join();
    QCOMPARE(answer.load(), int(TTrustAnswer::TrustAndRemember));
    QCOMPARE(pinned, SelfSigned().Sha256);
    QVERIFY(onUiThread);
  }

  void cancelEndsTheWaitWithARefusal() {
    std::atomic<std::uint8_t> cancel{0};
    TCertificatePrompt prompt(nullptr, cancel, [](const std::string&) {});
    std::atomic<int> answer{-1};
    bool answeredWhileShown = false;
    // The box is up; the user presses abort instead of answering it. The
    // transfer thread must give up while the box still shows.
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      cancel = 1;
      if (answer == -1) return;
      answeredWhileShown = true;
      poll.stop();
      box->reject();
    });
    poll.start();
    std::thread transfer([&] { answer = int(prompt.AskTrust("ftp.example.jp", SelfSigned())); });
    QTRY_VERIFY_WITH_TIMEOUT(answer != -1 && !poll.isActive(), 5000);
    transfer.join();
    QVERIFY(answeredWhileShown);
    QCOMPARE(answer.load(), int(TTrustAnswer::Reject));
  }

  // One answer given in advance serves the certificate and the host key
  // question alike, once: the question after it shows its box again.
  void answerGivenInAdvanceServesEitherQuestionOnce() {
    SetNextTrustAnswer(TTrustAnswer::TrustOnce);
    QCOMPARE(int(AskCertificateTrust(nullptr, "ftp.example.jp", SelfSigned())), int(TTrustAnswer::TrustOnce));
    const THostKey key{"ssh-ed25519", "SHA256:abc"};
    std::string pinned;
    SetNextTrustAnswer(TTrustAnswer::TrustAndRemember);
    QCOMPARE(int(TWindowHostKeyPrompt::AskNow(nullptr, "?", key, [&](const std::string& pin) { pinned = pin; })),
             int(TTrustAnswer::TrustAndRemember));
    QCOMPARE(pinned, key.fingerprint);
    QString shown;
    ClickWhenShown(QStr(std::string("今回だけ信頼する")), &shown);
    QCOMPARE(int(AskCertificateTrust(nullptr, "ftp.example.jp", SelfSigned())), int(TTrustAnswer::TrustOnce));
    QVERIFY(shown.contains("ftp.example.jp"));
  }

  // "Trust and remember" goes through the run, which names its own site:
  // the window writes the pin there, whichever site it shows.
  void windowRemembersTheFingerprintInTheRunsSite() {
    test::AppFolderFixture folder;
    folder.AddSite("S", folder.dir.Sub("site"));
    folder.AddSite("T", folder.dir.Sub("other"));
    TApplicationModules modules;
    test::StartWindow(modules);
    const TRunHooks& hooks = modules.Form1()->Upload().Hooks();
    QVERIFY(hooks.certificateTrust != nullptr);
    TRunCertificateTrust trust(hooks.certificateTrust, [&](const std::string& key, const std::string& value) {
      hooks.remember("T", key, value);
    });
    ClickWhenShown(QStr(std::string("信頼して記憶する")), nullptr);
    std::atomic<int> answer{-1};
    std::thread transfer([&] { answer = int(trust.AskTrust("127.0.0.1", SelfSigned())); });
    QTRY_VERIFY_WITH_TIMEOUT(answer != -1, 5000);
    transfer.join();
    QCOMPARE(answer.load(), int(TTrustAnswer::TrustAndRemember));
    const std::string pin = "CertificateSha256=" + SelfSigned().Sha256;
    QTRY_VERIFY_WITH_TIMEOUT(ReadFileBytes(JoinPath(folder.app, "T.txt")).find(pin) != std::string::npos, 5000);
    QVERIFY(ReadFileBytes(JoinPath(folder.app, "S.txt")).find(pin) == std::string::npos);
  }
};

QTEST_MAIN(CertificatePromptTest)
#include "certificate_prompt_test.moc"
