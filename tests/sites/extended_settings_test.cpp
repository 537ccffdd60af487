#include "sites/extended_settings.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "sites/IniGT.h"
#include "sites/site_profile.h"
#include "support/keyring_session.h"
#include "support/temp_dir.h"
#include "util/string_list.h"

namespace tovra {
namespace {

const std::string kDigest =
    "AB:CD:EF:01:23:45:67:89:ab:cd:ef:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:ab:cd:ef:01:23:45:67:89";
const std::string kHostKey = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";

TEST(ExtendedSettings, AcceptedValuesAreStoredInTheirCanonicalSpelling) {
  struct Case {
    std::string key, value, stored;
  } cases[] = {
      {"DataConnection", "PASSIVE", "passive"},
      {"dataconnection", "active", "active"},
      {"Encryption", "Explicit-If-Available", "explicit-if-available"},
      {"Encryption", "implicit", "implicit"},
      {"CertificateSha256", kDigest,
       "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89"},
      {"PageEncoding", "UTF-8", "utf-8"},
      {"RemoteNameEncoding", "CP932", "cp932"},
      {"ReuseConnection", "1", "1"},
      {"Connections", "8", "8"},
      {"Protocol", "SFTP", "sftp"},
      {"HostKeySha256", kHostKey, kHostKey},
      {"HostKeySha256", kHostKey + "=", kHostKey},
      {"PrivateKeyFile", "/home/u/.ssh/id_ed25519", "/home/u/.ssh/id_ed25519"},
      {"PasswordStore", "Keyring", "keyring"},
      {"References", "Modern", "modern"},
      {"AtomicUpload", "1", "1"},
      {"PublishExclude", "*.map;drafts/", "*.map;drafts/"},
  };
  for (const auto& c : cases) {
    TExtendedSettings s;
    s.Set(c.key, c.value);
    EXPECT_EQ(s.Stored(c.key), c.stored) << c.key << "=" << c.value;
  }
}

TEST(ExtendedSettings, RefusedValuesNameTheKeyAndChangeNothing) {
  struct Case {
    std::string key, value;
  } cases[] = {
      {"DataConnection", "pasv"},
      {"Encryption", "tls"},
      {"CertificateSha256", kDigest.substr(3)},                        // 31 pairs
      {"CertificateSha256", "G" + kDigest.substr(1)},                  // not hexadecimal
      {"CertificateSha256", std::string(kDigest).replace(2, 1, "-")},  // wrong separator
      {"PageEncoding", "euc-jp"},
      {"RemoteNameEncoding", "shift_jis"},
      {"ReuseConnection", "2"},
      {"ReuseConnection", "yes"},
      {"Connections", "0"},
      {"Connections", "9"},
      {"Connections", "04"},
      {"Connections", ""},
      {"Protocol", "ftps"},
      {"References", "browser"},
      {"HostKeySha256", kHostKey.substr(7)},                             // no prefix
      {"HostKeySha256", kHostKey.substr(0, kHostKey.size() - 1)},        // too short
      {"HostKeySha256", kHostKey.substr(0, kHostKey.size() - 1) + "V"},  // bits past the digest
      {"HostKeySha256", kHostKey.substr(0, 20) + "!" + kHostKey.substr(21)},
      {"PrivateKeyFile", ""},
      {"PrivateKeyFile", "/a\r\nb"},
      {"PasswordStore", "wallet"},
      {"AtomicUpload", "on"},
      {"PublishExclude", "*.map\t*.bak"},
  };
  for (const auto& c : cases) {
    TExtendedSettings s;
    s.Set("Connections", "3");
    try {
      s.Set(c.key, c.value);
      ADD_FAILURE() << c.key << "=" << c.value << " accepted";
    } catch (const EExtendedSettingError& e) {
      EXPECT_TRUE(SameTextNoCase(e.Key(), c.key)) << e.Key();
      EXPECT_NE(std::string(e.what()).find(c.key), std::string::npos) << e.what();
    }
    EXPECT_EQ(s.Connections(), 3) << c.key;
    if (c.key != "Connections") {
      EXPECT_FALSE(s.Stored(c.key).has_value()) << c.key;
    }
  }
  TExtendedSettings s;
  EXPECT_THROW(s.Set("Threads", "4"), EExtendedSettingError);
}

TEST(ExtendedSettings, AbsentKeysMeanTheLongStandingBehaviour) {
  TExtendedSettings s;
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.DataConnection(), TDataConnectionMode::Active);
  EXPECT_EQ(s.Encryption(), TFtpEncryption::None);
  EXPECT_EQ(s.PageEncoding(), TPageEncoding::ShiftJis);
  EXPECT_EQ(s.RemoteNameEncoding(), TRemoteNameEncoding::Cp932);
  EXPECT_FALSE(s.ReuseConnection());
  EXPECT_EQ(s.Connections(), 1);
  EXPECT_EQ(s.Protocol(), TTransferProtocol::Ftp);
  EXPECT_EQ(s.CertificateSha256(), "");
  EXPECT_EQ(s.HostKeySha256(), "");
  EXPECT_EQ(s.PrivateKeyFile(), "");
  EXPECT_EQ(s.PasswordStore(), TPasswordStore::File);
  EXPECT_EQ(s.References(), TReferenceMode::Classic);
  EXPECT_FALSE(s.AtomicUpload());
  EXPECT_EQ(s.PublishExclude(), "");
}

TEST(ExtendedSettings, NewSiteDefaults) {
  TExtendedSettings s = TExtendedSettings::NewSiteDefaults();
  EXPECT_EQ(s.DataConnection(), TDataConnectionMode::Passive);
  EXPECT_EQ(s.Encryption(), TFtpEncryption::ExplicitIfAvailable);
  EXPECT_EQ(s.PageEncoding(), TPageEncoding::Auto);
  EXPECT_EQ(s.RemoteNameEncoding(), TRemoteNameEncoding::Auto);
  EXPECT_TRUE(s.ReuseConnection());
  EXPECT_EQ(s.Connections(), 4);
  EXPECT_EQ(s.Stored("Protocol"), "ftp");
  EXPECT_FALSE(s.Stored("CertificateSha256").has_value());
  EXPECT_FALSE(s.Stored("HostKeySha256").has_value());
  EXPECT_FALSE(s.Stored("PrivateKeyFile").has_value());
  EXPECT_FALSE(s.Stored("PasswordStore").has_value());  // chosen when the site is made
  EXPECT_EQ(s.References(), TReferenceMode::Modern);
  EXPECT_TRUE(s.AtomicUpload());
  EXPECT_FALSE(s.Stored("PublishExclude").has_value());
}

class ExtendedSettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ini.SetFileName("site.txt"); }
  std::string Text() { return ReadFileBytes(app.Path() + "/site.txt"); }

  test::TempAppFolder app;
  TIniGT ini;
};

TEST_F(ExtendedSettingsFileTest, LoadKeepsGoodKeysAndDropsBadOnes) {
  app.Write("site.txt",
            "[拡張設定]\r\nConnections= 6 \r\nReuseConnection=yes\r\nProtocol=\r\nEncryption=EXPLICIT\r\n"
            "DataConnection=passive\r\n");
  TExtendedSettings s;
  s.Set("PrivateKeyFile", "/left/over");
  s.Load(ini);
  EXPECT_EQ(s.Connections(), 6);
  EXPECT_FALSE(s.Stored("ReuseConnection").has_value());
  EXPECT_FALSE(s.Stored("Protocol").has_value());
  EXPECT_FALSE(s.Stored("PrivateKeyFile").has_value());  // not in this file
  EXPECT_EQ(s.Encryption(), TFtpEncryption::Explicit);
  EXPECT_EQ(s.DataConnection(), TDataConnectionMode::Passive);
}

TEST_F(ExtendedSettingsFileTest, SaveWritesOnlyStoredKeysInTableOrder) {
  app.Write("site.txt", "[WEBサーバー情報]\r\nWebPort=21\r\n");
  TExtendedSettings empty;
  empty.Save(ini);
  EXPECT_EQ(Text(), "[WEBサーバー情報]\r\nWebPort=21\r\n");

  TExtendedSettings s;
  s.Set("Connections", "2");
  s.Set("DataConnection", "Passive");
  s.Save(ini);
  EXPECT_EQ(Text(), "[WEBサーバー情報]\r\nWebPort=21\r\n\r\n[拡張設定]\r\nDataConnection=passive\r\nConnections=2\r\n");
  TExtendedSettings back;
  back.Load(ini);
  EXPECT_EQ(back, s);
}

TEST_F(ExtendedSettingsFileTest, AKeyMadeAbsentLeavesTheFileAndABadValueStays) {
  const std::string other = "[WEBサーバー情報]\r\nWebPort=21\r\n\r\n";
  app.Write("site.txt", other + "[拡張設定]\r\nCertificateSha256=" + kDigest +
                            "\r\nConnections=16\r\nProtocol=sftp\r\nHostKeySha256=" + kHostKey + "\r\n");
  TExtendedSettings s;
  s.Load(ini);
  ASSERT_TRUE(s.Stored("CertificateSha256").has_value());
  s.Clear("CertificateSha256");
  s.Clear("Connections");  // was never loaded: the file's 16 is not this version's
  s.Save(ini);
  EXPECT_EQ(Text(), other + "[拡張設定]\r\nConnections=16\r\nProtocol=sftp\r\nHostKeySha256=" + kHostKey + "\r\n");
  TExtendedSettings back;
  back.Load(ini);
  EXPECT_EQ(back, s);
}

class SiteProfileExtendedTest : public ::testing::Test {
 protected:
  test::TempAppFolder app;
  TConfigFile config;
};

TEST_F(SiteProfileExtendedTest, OldProfileIsSavedWithoutTheSection) {
  const std::string old = "[WEBサーバー情報]\r\nWebHostName=h\r\nWebPort=21\r\n";
  app.Write("old.txt", old);
  TSiteProfile p(config);
  p.LoadProfile(std::string(kNewSiteName));  // a new site's defaults first
  p.LoadProfile("old");
  EXPECT_TRUE(p.Extended.Empty());
  p.SaveProfile();
  EXPECT_EQ(ReadFileBytes(app.Path() + "/old.txt").find("拡張設定"), std::string::npos);
}

TEST_F(SiteProfileExtendedTest, NewSiteWritesItsDefaultsAndLoadsThemBack) {
  test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", test::kNoSessionBus);
  TSiteProfile p(config);
  p.LoadProfile(std::string(kNewSiteName));
  p.edName = "fresh";
  p.SaveProfile();
  const std::string text = ReadFileBytes(app.Path() + "/fresh.txt");
  EXPECT_NE(text.find("[拡張設定]\r\nDataConnection=passive\r\nEncryption=explicit-if-available\r\n"
                      "PageEncoding=auto\r\nRemoteNameEncoding=auto\r\nReuseConnection=1\r\nConnections=4\r\n"
                      "Protocol=ftp\r\nPasswordStore=file\r\nReferences=modern\r\n"),
            std::string::npos)
      << text;
  TSiteProfile q(config);
  q.LoadProfile("fresh");
  EXPECT_EQ(q.Extended, p.Extended);
}

}  // namespace
}  // namespace tovra
