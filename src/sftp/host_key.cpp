#include "sftp/host_key.h"

namespace tovra {

namespace {

std::string Unpadded(std::string text) {
  while (!text.empty() && text.back() == '=') text.pop_back();
  return text;
}

}  // namespace

bool SameFingerprint(const std::string& a, const std::string& b) { return !a.empty() && Unpadded(a) == Unpadded(b); }

THostKeyVerdict JudgeHostKey(const std::string& pin, const std::string& fingerprint, TKnownHost known) {
  if (!pin.empty()) return SameFingerprint(pin, fingerprint) ? THostKeyVerdict::Accept : THostKeyVerdict::Refuse;
  switch (known) {
    case TKnownHost::Known:
      return THostKeyVerdict::Accept;
    case TKnownHost::Changed:
      return THostKeyVerdict::Refuse;
    default:
      return THostKeyVerdict::AskUser;
  }
}

std::string ServerName(const std::string& host, int port) {
  return port == 22 ? host : host + ":" + std::to_string(port);
}

EHostKeyUnknown::EHostKeyUnknown(const std::string& host, int port, const THostKey& key)
    : EIdException("SFTP サーバー " + ServerName(host, port) +
                   " のホスト鍵は未確認のため、ログインせずに接続を終えました (" + key.type + " " + key.fingerprint +
                   ")。サーバーの管理者に確かめた鍵と同じなら、拡張設定 HostKeySha256 に " + key.fingerprint +
                   " を設定してください"),
      key_(key) {}

EHostKeyChanged::EHostKeyChanged(const std::string& host, int port, const THostKey& key, const std::string& expected)
    : EIdException("警告: SFTP サーバー " + ServerName(host, port) + " のホスト鍵が" +
                   (expected.empty() ? std::string("known_hosts に記録された鍵") : expected) +
                   " と違います (受け取った鍵: " + key.type + " " + key.fingerprint +
                   ")。なりすましのおそれがあるため、ログインせずに接続を終えました。鍵の変更をサーバーの管理者に確かめ"
                   "てから、拡張設定 "
                   "HostKeySha256 を新しい鍵にしてください"),
      key_(key) {}

}  // namespace tovra
