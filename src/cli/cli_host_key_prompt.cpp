#include "cli/cli_host_key_prompt.h"

#include "cli/cli_common.h"
#include "util/errors.h"

namespace tovra::cli {

TTrustAnswer TCliHostKeyPrompt::TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) {
  PrintError("SFTP サーバー " + ServerName(host, port) + " のホスト鍵: " + key.type + " " + key.fingerprint);
  PrintError("この鍵が正しいことをサーバーの管理者に確かめてから、次のように指定してください: " +
             FormatMessage(pinAdvice_, {key.fingerprint}));
  return TTrustAnswer::Reject;
}

}  // namespace tovra::cli
