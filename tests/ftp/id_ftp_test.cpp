#include "ftp/id_ftp.h"

#include <gtest/gtest.h>

#include "ftp/id_exceptions.h"
#include "support/fake_ftp_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::FakeFtpServer;
using Lines = std::vector<std::string>;

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.Username = "web";
    client.Password = "pw";
    client.ReadTimeout = 5000;
    client.AcceptTimeout = 2000;
    client.Today = [] { return TListDate{2026, 12, 8}; };
  }
  // Expects opening to fail with a refused reply of the given code.
  void ExpectRefused(int code) {
    try {
      client.OpenSession();
      FAIL() << "opening succeeded";
    } catch (const EIdProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyErrorCode(), code);
    }
    EXPECT_FALSE(client.IsConnected());
  }

  FakeFtpServer server;
  TIdFTP client;
  test::TempDir dir;
};

TEST_F(ClientTest, LoginSequenceAndReplies) {
  server.SetGreeting("220-Welcome\r\n  continued here\r\n220 ready\r\n");
  client.OpenSession();
  EXPECT_EQ(server.Transcript(), (Lines{"USER web", "PASS pw", "TYPE I", "SYST"}));
  EXPECT_EQ(client.WelcomeReply.NumericCode, 220);
  EXPECT_EQ(client.WelcomeReply.Text, (TStringList{"Welcome", "inued here", "ready"}));
  EXPECT_EQ(client.LoginReply.NumericCode, 230);
  EXPECT_EQ(client.ServerSystem, "UNIX Type: L8");
  EXPECT_THROW(client.OpenSession(), EIdAlreadyConnected);
}

TEST_F(ClientTest, UserAnsweredWith230SendsNoPassword) {
  server.Reply("USER", "230 Welcome, no password needed.\r\n");
  client.OpenSession();
  EXPECT_EQ(server.Transcript(), (Lines{"USER web", "TYPE I", "SYST"}));
}

TEST_F(ClientTest, RefusedOpeningRepliesCloseTheConnection) {
  struct Case {
    const char* key;
    const char* reply;
    int code;
  } cases[] = {{"USER", "530 Not allowed.\r\n", 530}, {"TYPE", "504 No.\r\n", 504}, {"SYST", "502 No.\r\n", 502}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    FakeFtpServer faulty;
    faulty.Reply(c.key, c.reply);
    client.Port = faulty.Port();
    ExpectRefused(c.code);
  }
}

TEST_F(ClientTest, GreetingOtherThan220IsRefused) {
  server.SetGreeting("120 Service ready in 5 minutes.\r\n");
  ExpectRefused(120);
  EXPECT_TRUE(server.Transcript().empty());
}

TEST_F(ClientTest, SystAnswered500GivesUnknownSystem) {
  server.Reply("SYST", "500 SYST not understood.\r\n");
  client.OpenSession();
  EXPECT_EQ(client.ServerSystem, "不明");
}

TEST_F(ClientTest, BlankLinesBeforeAReplyAreSkipped) {
  server.SetGreeting("\r\n  \r\n\r\n220 ok\r\n");
  client.OpenSession();
  EXPECT_EQ(client.WelcomeReply.Text, TStringList{"ok"});
}

TEST_F(ClientTest, ShortContinuationLineEndsTheReplyEarly) {
  // "xy" ends the greeting; "220 rest" is then taken as the answer to USER.
  server.SetGreeting("220-first\r\nxy\r\n220 rest\r\n");
  ExpectRefused(220);
}

TEST_F(ClientTest, OverLongReplyLineIsRefused) {
  server.SetGreeting(std::string(16385, 'x'));
  try {
    client.OpenSession();
    FAIL() << "an over-long line was accepted";
  } catch (const EIdReadLnMaxLineLengthExceeded& e) {
    EXPECT_STREQ(e.what(), "Max line length exceeded.");
  }
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(ClientTest, LineOfExactlyTheLimitIsRead) {
  server.SetGreeting("220 " + std::string(16379, 'x') + "\r\n");
  client.OpenSession();
  EXPECT_EQ(client.WelcomeReply.Text[0].size(), 16379u);
}

TEST_F(ClientTest, ServerClosingTheControlConnection) {
  server.Reply("PASS", FakeFtpServer::kClose);
  try {
    client.OpenSession();
    FAIL() << "opening succeeded";
  } catch (const EIdConnClosedGracefully& e) {
    EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
  }
  EXPECT_FALSE(client.IsConnected());
  client.CloseSession();  // harmless when closed
}

TEST_F(ClientTest, SilentServerRunsIntoTheReadTimeout) {
  server.SetGreeting("");
  client.ReadTimeout = 200;
  EXPECT_THROW(client.OpenSession(), EIdReadTimeout);
}

TEST_F(ClientTest, LineBreakInUserOrPasswordIsRefusedBeforeConnecting) {
  client.Password = "pw\r\nDELE index.html";
  try {
    client.OpenSession();
    FAIL() << "a password with CR LF was accepted";
  } catch (const EIdUnsafeArgument& e) {
    EXPECT_EQ(std::string(e.what()).find("DELE"), std::string::npos) << "the password must not be shown";
  }
  client.Password = "pw";
  client.Username = "web\nSITE";
  EXPECT_THROW(client.OpenSession(), EIdUnsafeArgument);
  EXPECT_EQ(server.Sessions(), 0);
}

// The 257 reply quotes the folder, doubling quotes inside it; a reply that
// quotes none is an error naming the reply, never an empty home.
TEST_F(ClientTest, WorkingDirectoryIsTheQuotedNameOfThe257Reply) {
  struct Case {
    const char* reply;
    const char* folder;  // nullptr: refused
  } cases[] = {
      {"257 \"/home/web\" is the \"current\" directory.\r\n", "/home/web"},
      {"257 \"/home/a\"\"b\" is current.\r\n", "/home/a\"b"},
      {"257 \"/\"\"\"\"\"\r\n", "/\"\""},
      {"257 /home/web\r\n", nullptr},
      {"257 \"/unterminated\r\n", nullptr},
      {"257 \"/a\"\"\r\n", nullptr},
      {"257 \"\" is current.\r\n", nullptr},
  };
  for (const auto& c : cases) server.Reply("PWD", c.reply);
  client.OpenSession();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    if (c.folder != nullptr) {
      EXPECT_EQ(client.QueryWorkingDir(), c.folder);
      continue;
    }
    try {
      client.QueryWorkingDir();
      ADD_FAILURE() << "read as a folder";
    } catch (const EIdUnreadableReply& e) {
      EXPECT_NE(std::string(e.what()).find(client.LastReply.Text[0]), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("257 "), std::string::npos) << e.what();
    }
  }
}

TEST_F(ClientTest, StoreSendsTheBytesWithProgressAfterEveryBlock) {
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  std::string local = dir.Write("big.bin", bytes);
  std::vector<std::int64_t> totals;
  client.OnWork = [&](TIdTCPConnection&, TWorkMode mode, std::int64_t count) {
    EXPECT_EQ(mode, TWorkMode::wmWrite);
    totals.push_back(count);
  };
  client.OpenSession();
  client.StoreFile(local, "big.bin");
  EXPECT_EQ(server.Stored("big.bin"), bytes);
  ASSERT_GE(totals.size(), 3u);
  EXPECT_EQ(totals.back(), 70000);
  for (std::size_t i = 1; i < totals.size(); ++i) EXPECT_LE(totals[i] - totals[i - 1], 32768);
  // The control connection is still in step.
  EXPECT_EQ(client.QueryWorkingDir(), "/");
}

TEST_F(ClientTest, AbortedReply426Then226IsReadWhole) {
  server.Reply("STOR+", "426 Transfer aborted.\r\n226 Abort ok.\r\n");
  server.Reply("ABOR", "");  // answered by the two replies above
  std::string local = dir.Write("a.txt", "abc");
  // The abort comes after the last block: the store itself has ended.
  client.OnWork = [this](TIdTCPConnection&, TWorkMode, std::int64_t count) {
    if (count == 3) client.AbortTransfer();
  };
  client.OpenSession();
  client.StoreFile(local, "a.txt");
  EXPECT_EQ(client.LastReply.NumericCode, 226);
  EXPECT_EQ(client.QueryWorkingDir(), "/");
}

TEST_F(ClientTest, TransferFaultsRaiseAndKeepTheControlConnection) {
  struct Case {
    const char* key;
    const char* reply;
    int code;
  } cases[] = {{"PORT", "500 Illegal PORT command.\r\n", 500},
               {"STOR", "553 Could not create file.\r\n", 553},
               {"STOR+", "451 Local error.\r\n", 451}};
  std::string local = dir.Write("a.txt", "abc");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    FakeFtpServer faulty;
    faulty.Reply(c.key, c.reply);
    client.Port = faulty.Port();
    client.OpenSession();
    try {
      client.StoreFile(local, "a.txt");
      FAIL() << "the store succeeded";
    } catch (const EIdProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyErrorCode(), c.code);
    }
    EXPECT_TRUE(client.IsConnected());
    client.CloseSession();
  }
}

TEST_F(ClientTest, DataConnectionNeverOpenedEndsInAcceptTimeout) {
  server.SetOpenDataConnections(false);
  client.AcceptTimeout = 300;
  std::string local = dir.Write("a.txt", "abc");
  client.OpenSession();
  try {
    client.StoreFile(local, "a.txt");
    FAIL() << "the store succeeded";
  } catch (const EIdAcceptTimeout& e) {
    EXPECT_STREQ(e.what(), "Accept timed out.");
  }
  EXPECT_THROW(client.ListDirectory(), EIdAcceptTimeout);
}

TEST_F(ClientTest, ListingLinesAndParsedListing) {
  server.AddListing("total 8\r\ndrwxr-xr-x 2 web web 4096 Dec 08 09:28 img\nbroken\rlast");
  server.AddListing("");
  client.OpenSession();
  TStringList lines;
  client.ListDirectory(&lines);
  EXPECT_EQ(lines, (TStringList{"total 8", "drwxr-xr-x 2 web web 4096 Dec 08 09:28 img", "broken", "last"}));
  EXPECT_EQ(client.ListingLines(), lines);
  EXPECT_EQ(client.ParsedListing().ListFormat, TIdFTPListFormat::flfUnix);
  EXPECT_EQ(client.ParsedListing().Count(), 0);  // the broken lines clear everything
  client.ListDirectory();
  EXPECT_EQ(client.ListingLines().Count(), 0);
  EXPECT_EQ(client.ParsedListing().Count(), 0);
  EXPECT_EQ(client.ParsedListing().ListFormat, TIdFTPListFormat::flfUnix);
}

TEST_F(ClientTest, ShortListingReportsNoProgress) {
  server.AddListing("drwxr-xr-x 2 web web 4096 Dec 08 09:28 img\r\n");
  int events = 0;
  client.OnWork = [&](TIdTCPConnection&, TWorkMode, std::int64_t) { ++events; };
  client.OpenSession();
  client.ListDirectory();
  EXPECT_EQ(events, 0);
  EXPECT_EQ(client.ParsedListing().Count(), 1);
}

TEST(PortArgument, SplitsThePortIntoTwoDecimals) {
  EXPECT_EQ(PortArgument("192.168.0.5", 1025), "192,168,0,5,4,1");
  EXPECT_EQ(PortArgument("127.0.0.1", 256), "127,0,0,1,1,0");
  EXPECT_EQ(PortArgument("10.0.0.1", 65535), "10,0,0,1,255,255");
}

TEST(WorkEvents, AreDeliveredOnlyWhileAnnouncedAndNest) {
  TIdTCPConnection connection;
  std::vector<std::int64_t> totals;
  connection.OnWork = [&](TIdTCPConnection&, TWorkMode, std::int64_t count) { totals.push_back(count); };
  connection.DoWork(TWorkMode::wmWrite, 1);
  connection.BeginWork(TWorkMode::wmWrite, 100);
  connection.DoWork(TWorkMode::wmWrite, 5);
  connection.BeginWork(TWorkMode::wmWrite, 100);  // nested: the total goes on
  connection.DoWork(TWorkMode::wmWrite, 3);
  connection.EndWork(TWorkMode::wmWrite);
  connection.DoWork(TWorkMode::wmWrite, 1);
  connection.EndWork(TWorkMode::wmWrite);
  connection.DoWork(TWorkMode::wmWrite, 1);
  EXPECT_EQ(totals, (std::vector<std::int64_t>{5, 8, 9}));
}

TEST(ReplyParsing, CodesAndTexts) {
  TIdRFCReply reply = ParseReply({"230-Hello", "there", "230 Done"});
  EXPECT_EQ(reply.NumericCode, 230);
  EXPECT_EQ(reply.TextCode, "230");
  EXPECT_EQ(reply.Text, (TStringList{"Hello", "e", "Done"}));
  EXPECT_EQ(reply.Message(), "Hello\r\ne\r\nDone\r\n");
  EXPECT_EQ(ParseReply({"abc text"}).NumericCode, 0);
  EXPECT_EQ(ParseReply({"12"}).NumericCode, 12);
  EXPECT_TRUE(EndsMultiLineReply("230-a", "230 b"));
  EXPECT_TRUE(EndsMultiLineReply("230-a", "ab"));
  EXPECT_FALSE(EndsMultiLineReply("230-a", "230-b"));
  EXPECT_FALSE(OpensMultiLineReply("230 a-b"));
}

}  // namespace
}  // namespace tovra
