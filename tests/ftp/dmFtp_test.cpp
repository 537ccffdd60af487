#include "ftp/dmFtp.h"

#include <gtest/gtest.h>

#include "ftp/id_exceptions.h"
#include "support/fake_ftp_server.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using test::FakeFtpServer;
using Lines = std::vector<std::string>;

const char* const kLogin[] = {"USER web", "PASS pw", "TYPE I", "SYST", "PWD"};

std::string UnixFile(const std::string& name) { return "-rw-r--r--   1 web web  123 Dec 08 09:28 " + name + "\r\n"; }

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ftp.HostInfo = THostInfo{"127.0.0.1", "web", "pw", server.Port()};
    ftp.IdFTP1.ReadTimeout = 5000;
    ftp.IdFTP1.AcceptTimeout = 2000;
    ftp.OnMessage = [this](const std::string& line) { messages.push_back(line); };
  }
  // The commands after the login sequence.
  Lines AfterLogin() {
    Lines all = server.Transcript();
    EXPECT_GE(all.size(), 5u);
    for (std::size_t i = 0; i < 5 && i < all.size(); ++i) EXPECT_EQ(all[i], kLogin[i]);
    return Lines(all.begin() + std::min<std::size_t>(5, all.size()), all.end());
  }
  void RunFile(const std::string& remoteDir, const std::string& localPath) {
    ftp.Connect();
    ftp.AdjustRemoteDir(remoteDir);
    ftp.ChangeRemoteDir(remoteDir);
    ftp.PutFile(localPath);
    ftp.Disconnect();
  }

  FakeFtpServer server;
  TFTP ftp;
  test::TempDir dir;
  Lines messages;
};

TEST_F(SessionTest, OneFileIntoNewFolderBelowRootCarriesTheExactWireSequence) {
  std::string local = dir.Write("page.html", "<html>\r\n");
  server.AddListing(UnixFile("index.html"));
  RunFile("/new/", local);
  EXPECT_EQ(AfterLogin(),
            (Lines{"CWD /", "PORT *", "LIST", "MKD new", "CWD new", "CWD /new/", "PORT *", "STOR page.html"}));
  EXPECT_EQ(server.Stored("page.html"), "<html>\r\n");
  EXPECT_EQ(ftp.HomeDir, "/");
  EXPECT_FALSE(ftp.IdFTP1.IsConnected());
  EXPECT_TRUE(messages.empty());
}

struct AdjustCase {
  const char* name;
  std::string pwdReply;
  std::string path;
  std::vector<std::string> listings;
  Lines expected;
};

// A failing row names itself and its path instead of dumping the struct's bytes.
void PrintTo(const AdjustCase& c, std::ostream* out) { *out << c.name << " (" << c.path << ")"; }

class AdjustRemoteDirTest : public SessionTest, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(AdjustRemoteDirTest, SendsTheExpectedCommands) {
  const AdjustCase& c = GetParam();
  server.Reply("PWD", c.pwdReply);
  for (const auto& listing : c.listings) server.AddListing(listing);
  ftp.Connect();
  ftp.AdjustRemoteDir(c.path);
  EXPECT_EQ(AfterLogin(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, AdjustRemoteDirTest,
    ::testing::Values(AdjustCase{"RootOnly", "257 \"/\"\r\n", "/", {}, {"CWD /"}},
                      AdjustCase{"ExistingThenMissing",
                                 "257 \"/\"\r\n",
                                 "/www/img/",
                                 {test::UnixFolderLine("www") + UnixFile("index.html"), UnixFile("top.html")},
                                 {"CWD /", "PORT *", "LIST", "CWD www", "PORT *", "LIST", "MKD img", "CWD img"}},
                      AdjustCase{"HomePiecesSkipped",
                                 "257 \"/home/web\" is current\r\n",
                                 "/home/web/a/b/",
                                 {test::UnixFolderLine("a"), test::UnixFolderLine("b")},
                                 {"CWD /home/web", "PORT *", "LIST", "CWD a", "PORT *", "LIST", "CWD b"}},
                      AdjustCase{"CaseSensitiveMatch",
                                 "257 \"/\"\r\n",
                                 "/img/",
                                 {test::UnixFolderLine("Img")},
                                 {"CWD /", "PORT *", "LIST", "MKD img", "CWD img"}},
                      AdjustCase{"SymbolicLinkCountsAsMissing",
                                 "257 \"/\"\r\n",
                                 "/img/",
                                 {"lrwxrwxrwx 1 web web 3 Dec 08 09:28 img -> pic\r\n"},
                                 {"CWD /", "PORT *", "LIST", "MKD img", "CWD img"}},
                      AdjustCase{"AllMissingLevelsCreatedWithoutListing",
                                 "257 \"/\"\r\n",
                                 "/a/b/c",
                                 {""},
                                 {"CWD /", "PORT *", "LIST", "MKD a", "CWD a", "MKD b", "CWD b", "MKD c", "CWD c"}},
                      AdjustCase{"DosListingFindsTheFolder",
                                 "257 \"/\"\r\n",
                                 "/www/",
                                 {"12-08-26  10:30AM       <DIR>          www\r\n"},
                                 {"CWD /", "PORT *", "LIST", "CWD www"}},
                      AdjustCase{"UnknownListingFormatMakesTheFolderLookMissing",
                                 "257 \"/\"\r\n",
                                 "/www/",
                                 {"Folder www exists\r\n"},
                                 {"CWD /", "PORT *", "LIST", "MKD www", "CWD www"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, PlainFileInTheWayMakesTheRefusedMkdEscape) {
  server.AddListing(UnixFile("img"));
  server.Reply("MKD", "550 img: File exists.\r\n");
  ftp.Connect();
  try {
    ftp.AdjustRemoteDir("/img/");
    FAIL() << "MKD refusal did not escape";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyErrorCode(), 550);
    EXPECT_STREQ(e.what(), "img: File exists.\r\n");
  }
}

TEST_F(SessionTest, CancelBeforeConnectSendsNothingAndPostsStatusLines) {
  ftp.CancelRequested = 1;
  std::string local = dir.Write("a.txt", "x");
  RunFile("/new/", local);
  ftp.GetRemoteFileInfo("*.*");
  EXPECT_EQ(server.Sessions(), 0);
  EXPECT_TRUE(server.Transcript().empty());
  EXPECT_EQ(messages, (Lines{"connectユーザキャンセル", "リモートディレクトリ調整ユーザキャンセル",
                             "切断ユーザキャンセル", "リモートファイル情報取得ユーザキャンセル"}));
}

TEST_F(SessionTest, StatusLinesReachTheAttachedLineListToo) {
  TStringList memo;
  ftp.MessageLines = &memo;
  ftp.CancelRequested = 1;
  ftp.Disconnect();
  ASSERT_EQ(memo.Count(), 1);
  EXPECT_EQ(memo[0], "切断ユーザキャンセル");
}

TEST_F(SessionTest, CancelAfterConnectLeavesTheConnectionOpen) {
  ftp.Connect();
  ftp.CancelRequested = 1;
  ftp.Disconnect();
  EXPECT_TRUE(ftp.IdFTP1.IsConnected());
  ftp.IdFTP1.CloseSession();
}

TEST_F(SessionTest, MaskIsNeverSent) {
  ftp.Connect();
  ftp.GetRemoteFileInfo("*.html");
  EXPECT_EQ(AfterLogin(), (Lines{"PORT *", "LIST"}));
}

TEST_F(SessionTest, RefusedLoginEscapesAndClosesTheConnection) {
  server.Reply("PASS", "530 Login incorrect.\r\n");
  EXPECT_THROW(ftp.Connect(), EIdProtocolReplyError);
  EXPECT_FALSE(ftp.IdFTP1.IsConnected());
}

TEST_F(SessionTest, MissingLocalFileFailsBeforeAnythingIsSent) {
  ftp.Connect();
  EXPECT_THROW(ftp.PutFile(dir.Sub("missing.txt")), EFileError);
  EXPECT_EQ(AfterLogin(), Lines{});
}

TEST_F(SessionTest, FileNameWithLineBreakIsRefusedBeforeAnythingIsSent) {
  std::string local = dir.Write("evil\r\nDELE index.html", "x");
  ftp.Connect();
  try {
    ftp.PutFile(local);
    FAIL() << "a file name with CR LF was accepted";
  } catch (const EIdUnsafeArgument& e) {
    EXPECT_NE(std::string(e.what()).find("evil"), std::string::npos);
  }
  EXPECT_EQ(AfterLogin(), Lines{});
}

TEST_F(SessionTest, FolderPathWithLineBreakIsRefusedBeforeTheWalkStarts) {
  ftp.Connect();
  EXPECT_THROW(ftp.AdjustRemoteDir("/a\r\nDELE index.html/"), EIdUnsafeArgument);
  EXPECT_THROW(ftp.ChangeRemoteDir("/a\nb"), EIdUnsafeArgument);
  EXPECT_EQ(AfterLogin(), Lines{});
}

TEST_F(SessionTest, JapaneseFileNameIsSentAsItsBytes) {
  std::string name = test::Hex("93 fa 96 7b 8c ea") + ".txt";  // 日本語.txt
  std::string local = dir.Write(name, "abc");
  ftp.Connect();
  ftp.PutFile(local);
  EXPECT_EQ(server.Stored(name), "abc");
}

TEST_F(SessionTest, CancelDuringAListingKeepsWhatArrivedWithoutError) {
  std::string listing;
  while (listing.size() < 3 * 32768) listing += UnixFile("file" + std::to_string(listing.size()) + ".html");
  server.AddListing(listing);
  ftp.IdFTP1.OnWork = [this](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    ftp.CancelRequested = 1;  // the user presses abort during the first block
    ftp.IdFTP1Work(sender, mode, count);
  };
  ftp.Connect();
  ftp.GetRemoteFileInfo("*.*");
  EXPECT_EQ(messages, Lines{"リーもとファイル情報取得ユーザキャンセル"});
  ASSERT_GT(ftp.IdFTP1.ListingLines().Count(), 0);
  EXPECT_EQ(ftp.IdFTP1.ListingLines()[0] + "\r\n", UnixFile("file0.html"));
  EXPECT_LE(ftp.IdFTP1.ListingLines().Text().size(), listing.size());
  ftp.IdFTP1.CloseSession();
  server.WaitUntilIdle();
  EXPECT_EQ(AfterLogin(), (Lines{"PORT *", "LIST", "ABOR"}));
}

TEST_F(SessionTest, CancelDuringAStoreStopsItWithTheClosedConnectionError) {
  std::string local = dir.Write("big.bin", std::string(1 << 20, 'z'));
  ftp.Connect();
  ftp.IdFTP1.OnWork = [this](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    ftp.CancelRequested = 1;
    ftp.IdFTP1Work(sender, mode, count);
  };
  try {
    ftp.PutFile(local);
    FAIL() << "the cancelled store ended normally";
  } catch (const EIdException& e) {
    std::string text = e.what();
    EXPECT_TRUE(text == "Connection Closed Gracefully." || text == "Disconnected.") << text;
  }
  ftp.Disconnect();  // a no-op after the cancel
  EXPECT_EQ(messages, Lines{"切断ユーザキャンセル"});
  EXPECT_TRUE(ftp.IdFTP1.IsConnected());
  ftp.IdFTP1.CloseSession();
  server.WaitUntilIdle();
  EXPECT_LT(server.Stored("big.bin").size(), std::size_t{1} << 20);
  EXPECT_EQ(AfterLogin(), (Lines{"PORT *", "STOR big.bin", "ABOR"}));
}

TEST(RemoteNameOf, TakesThePartAfterTheLastSeparator) {
  EXPECT_EQ(RemoteNameOf("/site/img/a.gif"), "a.gif");
  EXPECT_EQ(RemoteNameOf("a.gif"), "a.gif");
  EXPECT_EQ(RemoteNameOf("/site/a:b.html"), "a:b.html");
  // 0x5C as a trail byte (表) is never a separator, and 0x2F never is one.
  EXPECT_EQ(RemoteNameOf("/site/" + test::Hex("95 5c 8e a6") + ".html"), test::Hex("95 5c 8e a6") + ".html");
}

}  // namespace
}  // namespace tovra
