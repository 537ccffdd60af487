#include "app/certificate_prompt.h"

#include <QApplication>

#include "app/trust_question.h"
#include "util/errors.h"

namespace tovra {

TTrustAnswer AskCertificateTrust(QWidget* parent, const std::string& host, const TCertificateInfo& certificate) {
  return AskTrustBox(parent, "サーバー証明書の確認",
                     FormatMessage("%s のサーバー証明書は信頼されていません (%s)。\nこのサーバーに接続しますか。",
                                   {host, certificate.Problem}),
                     FormatMessage("主体: %s\n発行者: %s\n有効期間: %s - %s\nSHA-256 指紋:\n%s",
                                   {certificate.Subject, certificate.Issuer, certificate.NotBefore,
                                    certificate.NotAfter, FingerprintLines(certificate.Sha256)}));
}

TTrustAnswer TCertificatePrompt::AskTrust(const std::string& host, const TCertificateInfo& certificate) {
  QWidget* parent = parent_;
  auto remember = remember_;
  QObject* context = parent != nullptr ? static_cast<QObject*>(parent) : qApp;
  return AskOnUiThreadAndWait(context, &cancel_, [parent, remember, host, certificate] {
    TTrustAnswer answer = AskCertificateTrust(parent, host, certificate);
    if (answer == TTrustAnswer::TrustAndRemember && remember) remember(certificate.Sha256);
    return answer;
  });
}

}  // namespace tovra
