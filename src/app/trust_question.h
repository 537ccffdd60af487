// The window's trust questions, an untrusted server certificate and an
// unknown SFTP host key alike: one box with "trust and remember", "trust this
// time" and "stop", and the wait of the transfer thread that asks while the
// box is shown on the UI thread. Tests answer the next question in advance
// (SetNextTrustAnswer) instead of a user clicking. The box runs on the UI
// thread only; AskOnUiThreadAndWait may be called from any thread.
#pragma once

#include <QObject>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "ftp/certificate_trust.h"

namespace tovra {

// Shows the box on the calling (UI) thread and returns the answer; closing
// it refuses. details, when not empty, is shown below the question. An
// answer given by SetNextTrustAnswer is taken instead, without a box.
TTrustAnswer AskTrustBox(QWidget* parent, const std::string& title, const std::string& question,
                         const std::string& details);

// Queues call to run on the thread of context, in the order of posting; a
// call whose context has gone by then is dropped. The hand-over is ordered
// where the thread sanitizer sees it (the toolkit's own queue it cannot).
void PostToThreadOf(QObject* context, std::function<void()> call);

// Runs ask on the thread of context (the UI thread) and waits for its
// answer; called on that thread, it runs ask at once. The wait gives up with
// a refusal when *cancel becomes 1 (abort or closing the window never waits
// for a box) or when context goes before ask could run. cancel may be null.
TTrustAnswer AskOnUiThreadAndWait(QObject* context, const std::atomic<std::uint8_t>* cancel,
                                  std::function<TTrustAnswer()> ask);

// A fingerprint as the question shows it: in lines short enough for the box
// on any screen, so that it is seen whole. Hexadecimal bytes separated by
// colons come eight to a line; any other form in lines of equal length.
std::string FingerprintLines(const std::string& fingerprint);

// Tests: the next trust question is not shown but answered with this.
void SetNextTrustAnswer(TTrustAnswer answer);

}  // namespace tovra
