#include "cli/cli_certificate_trust.h"

#include "cli/cli_common.h"
#include "util/errors.h"

namespace tovra::cli {

TTrustAnswer TCliCertificateTrust::AskTrust(const std::string& host, const TCertificateInfo& certificate) {
  PrintError(FormatMessage("%s のサーバー証明書を信頼できません: %s", {host, certificate.Problem}));
  PrintError(FormatMessage("証明書を確かめたうえで信頼するには: " + pinAdvice_, {certificate.Sha256}));
  return TTrustAnswer::Reject;
}

void PrintCertificate(const TCertificateInfo& certificate) {
  PrintLine("主体: " + certificate.Subject);
  PrintLine("発行者: " + certificate.Issuer);
  PrintLine("有効期間: " + certificate.NotBefore + " - " + certificate.NotAfter);
  PrintLine("SHA-256: " + certificate.Sha256);
  PrintLine(certificate.Verified ? std::string("検証: 信頼済み (システムの証明書ストア)")
                                 : "検証: 信頼されていません (" + certificate.Problem + ")");
}

}  // namespace tovra::cli
