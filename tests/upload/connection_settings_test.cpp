#include <gtest/gtest.h>

#include "sites/extended_settings.h"
#include "upload/apply_site_profile.h"

namespace tovra {
namespace {

struct SettingsCase {
  const char* name;
  std::vector<std::pair<const char*, const char*>> stored;
  bool passive;
  TFtpEncryption encryption;
  const char* pin;
};

class ConnectionSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ConnectionSettings, FollowTheSitesExtendedSettings) {
  TExtendedSettings extended;
  for (const auto& [key, value] : GetParam().stored) extended.Set(key, value);
  TFtpConnectionSettings settings = ConnectionSettingsOf(extended);
  EXPECT_EQ(settings.passive, GetParam().passive);
  EXPECT_EQ(settings.encryption, GetParam().encryption);
  EXPECT_EQ(settings.certificateSha256, GetParam().pin);
}

#define PIN "5B:33:24:77:A1:B9:8D:CD:F6:55:D5:64:5A:45:59:8A:EC:E0:5B:2E:DB:53:AD:5B:58:E4:7B:A7:38:98:F5:60"
INSTANTIATE_TEST_SUITE_P(
    Sites, ConnectionSettings,
    ::testing::Values(
        SettingsCase{"NoKeysMeansActivePlain", {}, false, TFtpEncryption::None, ""},
        SettingsCase{"Passive", {{"DataConnection", "passive"}}, true, TFtpEncryption::None, ""},
        SettingsCase{"ActiveSpelledOut", {{"DataConnection", "active"}}, false, TFtpEncryption::None, ""},
        SettingsCase{
            "IfAvailable", {{"Encryption", "explicit-if-available"}}, false, TFtpEncryption::ExplicitIfAvailable, ""},
        SettingsCase{"Explicit", {{"Encryption", "explicit"}}, false, TFtpEncryption::Explicit, ""},
        SettingsCase{"ImplicitPinned",
                     {{"DataConnection", "passive"}, {"Encryption", "implicit"}, {"CertificateSha256", PIN}},
                     true,
                     TFtpEncryption::Implicit,
                     PIN},
        SettingsCase{"ImplicitOnly", {{"Encryption", "implicit"}}, false, TFtpEncryption::Implicit, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionSettingsOfNewSite, ArePassiveAndExplicitIfAvailable) {
  TFtpConnectionSettings settings = ConnectionSettingsOf(TExtendedSettings::NewSiteDefaults());
  EXPECT_TRUE(settings.passive);
  EXPECT_EQ(settings.encryption, TFtpEncryption::ExplicitIfAvailable);
  EXPECT_TRUE(settings.certificateSha256.empty());
}

TEST(ConnectionSettingsNames, FollowRemoteNameEncoding) {
  struct Case {
    const char* stored;  // nullptr: the key absent
    TRemoteNameEncoding expected;
  } cases[] = {{nullptr, TRemoteNameEncoding::Cp932},
               {"cp932", TRemoteNameEncoding::Cp932},
               {"utf-8", TRemoteNameEncoding::Utf8},
               {"auto", TRemoteNameEncoding::Auto}};
  for (const auto& c : cases) {
    TExtendedSettings extended;
    if (c.stored != nullptr) extended.Set("RemoteNameEncoding", c.stored);
    EXPECT_EQ(ConnectionSettingsOf(extended).nameEncoding, c.expected) << (c.stored ? c.stored : "absent");
  }
  EXPECT_EQ(ConnectionSettingsOf(TExtendedSettings::NewSiteDefaults()).nameEncoding, TRemoteNameEncoding::Auto);
}

}  // namespace
}  // namespace tovra
