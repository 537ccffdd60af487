// The secret store against a real Secret Service (a private bus with the
// keyring daemon); secret-tool reads independently what was stored.
#include "platform/secret_store.h"

#include <gtest/gtest.h>

#include "support/keyring_session.h"

namespace tovra {
namespace {

class SecretStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!keyring.Unavailable().empty()) GTEST_SKIP() << keyring.Unavailable();
  }
  test::KeyringSession keyring;
};

TEST_F(SecretStoreTest, StoresReplacesAndClearsPerSiteAndField) {
  struct Row {
    TSecretItem item;
    std::string password;
  };
  const Row rows[] = {
      {{"ショップ\\テスト", "WebPasswd"}, "pa ss=word"},
      {{"ショップ\\テスト", "ProxyPasswd"}, "プロキシ"},
      {{"abc", "WebPasswd"}, "x"},
  };
  EXPECT_TRUE(SecretServiceAnswers());
  for (const auto& row : rows) StoreSecret(row.item, row.password);
  for (const auto& row : rows) {
    EXPECT_EQ(LookupSecret(row.item), row.password) << row.item.site << " " << row.item.field;
    EXPECT_EQ(keyring.Lookup(row.item.site, row.item.field), row.password);
  }
  StoreSecret(rows[0].item, "new");  // replaces, never a second item
  EXPECT_EQ(keyring.ItemCount(rows[0].item.site), 2);
  EXPECT_EQ(LookupSecret(rows[0].item), "new");

  ClearSecret(rows[0].item);
  ClearSecret(rows[0].item);  // already gone: no error
  EXPECT_EQ(LookupSecret(rows[0].item), std::nullopt);
  EXPECT_EQ(keyring.Lookup(rows[0].item.site, "WebPasswd"), std::nullopt);
  EXPECT_EQ(LookupSecret(rows[1].item), "プロキシ");
  EXPECT_EQ(LookupSecret({"ABC", "WebPasswd"}), std::nullopt);  // the site name exactly
}

TEST_F(SecretStoreTest, LockedStoreIsAnErrorNamingTheSite) {
  StoreSecret({"site", "WebPasswd"}, "before");
  ASSERT_TRUE(keyring.Lock());
  for (const auto& call : std::initializer_list<std::function<void()>>{[] {
                                                                         LookupSecret({"site", "WebPasswd"});
                                                                       },
                                                                       [] {
                                                                         StoreSecret({"site", "WebPasswd"}, "after");
                                                                       },
                                                                       [] {
                                                                         ClearSecret({"site", "WebPasswd"});
                                                                       }}) {
    try {
      call();
      ADD_FAILURE() << "a locked keyring was used";
    } catch (const ESecretStoreError& e) {
      EXPECT_EQ(e.Fault(), TSecretStoreFault::Locked);
      EXPECT_STREQ(e.what(), "キーリングがロックされているため、サイト「site」のパスワードを読み書きできません。");
    }
  }
  EXPECT_EQ(keyring.ItemCount("site"), 1);
}

TEST(SecretStoreWithoutBus, NothingAnswersAndCallsFailAtOnce) {
  test::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", test::kNoSessionBus);
  EXPECT_FALSE(SecretServiceAnswers());
  try {
    StoreSecret({"サイト", "WebPasswd"}, "pw");
    FAIL() << "stored without a keyring";
  } catch (const ESecretStoreError& e) {
    EXPECT_EQ(e.Fault(), TSecretStoreFault::Unavailable);
    EXPECT_NE(std::string(e.what()).find("キーリングが利用できないため、サイト「サイト」の"), std::string::npos);
  }
}

}  // namespace
}  // namespace tovra
