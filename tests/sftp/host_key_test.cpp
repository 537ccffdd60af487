// Host key decisions: a pin decides alone, known_hosts decides without one,
// and the refusal texts tell the user what to do.
#include "sftp/host_key.h"

#include <gtest/gtest.h>

namespace tovra {
namespace {

constexpr const char* kKey = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";
constexpr const char* kOther = "SHA256:uNiVztksCsDhcc0u9e8BujQXVUpKZIDTMczCvj3tD2s";

TEST(JudgeHostKey, PinDecidesAloneElseKnownHosts) {
  struct Row {
    std::string pin;
    std::string fingerprint;
    TKnownHost known;
    THostKeyVerdict expected;
  };
  const Row rows[] = {
      {kKey, kKey, TKnownHost::Unknown, THostKeyVerdict::Accept},
      {kKey, kKey, TKnownHost::Changed, THostKeyVerdict::Accept},  // the pin overrides an old known_hosts entry
      {std::string(kKey) + "=", kKey, TKnownHost::Unknown, THostKeyVerdict::Accept},
      {kOther, kKey, TKnownHost::Known, THostKeyVerdict::Refuse},  // a known_hosts entry never overrides the pin
      {kOther, kKey, TKnownHost::Unknown, THostKeyVerdict::Refuse},
      {"sha256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU", kKey, TKnownHost::Unknown, THostKeyVerdict::Refuse},
      {"", kKey, TKnownHost::Known, THostKeyVerdict::Accept},
      {"", kKey, TKnownHost::Changed, THostKeyVerdict::Refuse},
      {"", kKey, TKnownHost::Unknown, THostKeyVerdict::AskUser},
      {"", "", TKnownHost::Unknown, THostKeyVerdict::AskUser},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(JudgeHostKey(row.pin, row.fingerprint, row.known), row.expected) << row.pin << " / " << row.fingerprint;
  }
}

TEST(JudgeHostKey, AnEmptyFingerprintNeverMatches) { EXPECT_FALSE(SameFingerprint("", "")); }

TEST(HostKeyErrors, NameTheServerTheKeyAndHowToPin) {
  THostKey key{"ssh-ed25519", kKey};
  std::string unknown = EHostKeyUnknown("example.test", 2222, key).what();
  EXPECT_NE(unknown.find("example.test:2222"), std::string::npos) << unknown;
  EXPECT_NE(unknown.find("ssh-ed25519"), std::string::npos) << unknown;
  EXPECT_NE(unknown.find(std::string("HostKeySha256 に ") + kKey), std::string::npos) << unknown;

  std::string changed = EHostKeyChanged("example.test", 22, key, kOther).what();
  EXPECT_NE(changed.find("example.test "), std::string::npos) << changed;  // port 22 is not named
  EXPECT_NE(changed.find(kOther), std::string::npos) << changed;
  EXPECT_NE(changed.find(kKey), std::string::npos) << changed;
  EXPECT_EQ(changed.rfind("警告", 0), 0u) << changed;
}

}  // namespace
}  // namespace tovra
