// Passive mode, FEAT, the encryption choices and the active-mode peer check
// against the scripted server: what goes over the wire, in order.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "ftp/dmFtp.h"
#include "ftp/id_exceptions.h"
#include "support/fake_ftp_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::FakeFtpServer;
using Lines = std::vector<std::string>;

const char kFeatures[] = "211-Features:\r\n EPSV\r\n PASV\r\n MDT\r\n AUTH TLS\r\n PBSZ\r\n PROT\r\n211 End\r\n";

TFtpConnectionSettings Settings(bool passive, TFtpEncryption encryption = TFtpEncryption::None) {
  TFtpConnectionSettings settings;
  settings.passive = passive;
  settings.encryption = encryption;
  return settings;
}

class ConnectionModes : public ::testing::Test {
 protected:
  void SetUp() override {
    ftp.HostInfo = THostInfo{"127.0.0.1", "web", "pw", server.Port()};
    ftp.IdFTP1.ReadTimeout = 5000;
    ftp.IdFTP1.AcceptTimeout = 2000;
    ftp.OnMessage = [this](const std::string& line) { messages.push_back(line); };
  }
  void Upload(const std::string& local) {
    ftp.Connect();
    ftp.AdjustRemoteDir("/");
    ftp.ChangeRemoteDir("/");
    ftp.PutFile(local);
    ftp.Disconnect();
  }
  bool Sent(const std::string& line) {
    Lines all = server.Transcript();
    return std::find(all.begin(), all.end(), line) != all.end();
  }

  FakeFtpServer server;
  TFTP ftp;
  test::TempDir dir;
  Lines messages;
};

TEST_F(ConnectionModes, PassiveUploadAsksFeaturesThenUsesEpsv) {
  server.Reply("FEAT", kFeatures);
  server.Reply("PORT", "500 PORT not allowed.\r\n");
  ftp.ApplyConnectionSettings(Settings(true));
  Upload(dir.Write("page.html", "<html>passive</html>"));
  EXPECT_EQ(server.Transcript(), (Lines{"FEAT", "USER web", "PASS pw", "TYPE I", "SYST", "PWD", "CWD /", "CWD /",
                                        "EPSV", "STOR page.html"}));
  EXPECT_EQ(server.Stored("page.html"), "<html>passive</html>");
}

TEST_F(ConnectionModes, RefusedEpsvFallsBackToPasvForTheRestOfTheConnection) {
  server.Reply("EPSV", "500 Unknown command.\r\n");
  // The 227 names another loopback address; the server is only on 127.0.0.1.
  server.SetPasvAddress("127,0,0,9");
  server.AddListing("drwxr-xr-x 2 web web 4096 Dec 08 09:28 www\r\n");
  ftp.ApplyConnectionSettings(Settings(true));
  ftp.Connect();
  ftp.AdjustRemoteDir("/www/");
  ftp.ChangeRemoteDir("/www/");
  ftp.PutFile(dir.Write("a.txt", "abc"));
  ftp.Disconnect();
  Lines all = server.Transcript();
  Lines afterLogin(all.begin() + 6, all.end());
  EXPECT_EQ(afterLogin, (Lines{"CWD /", "EPSV", "PASV", "LIST", "CWD www", "CWD /www/", "PASV", "STOR a.txt"}));
  EXPECT_EQ(server.Stored("a.txt"), "abc");
}

TEST_F(ConnectionModes, FeatureListWithShortLinesIsReadWhole) {
  // "MDT" is shorter than four characters: it must not end the reply, or
  // the rest of it would be taken for the answers to later commands.
  server.Reply("FEAT", kFeatures);
  ftp.ApplyConnectionSettings(Settings(true));
  ftp.Connect();
  EXPECT_TRUE(ftp.IdFTP1.HasFeature("EPSV"));
  EXPECT_TRUE(ftp.IdFTP1.HasFeature("MDT"));
  EXPECT_TRUE(ftp.IdFTP1.HasFeature("AUTH"));
  EXPECT_FALSE(ftp.IdFTP1.HasFeature("MLST"));
  EXPECT_EQ(ftp.HomeDir, "/");
  ftp.Disconnect();
}

TEST_F(ConnectionModes, FeatureListWithoutEpsvGoesStraightToPasv) {
  server.Reply("FEAT", "211-Features:\r\n PASV\r\n211 End\r\n");
  ftp.ApplyConnectionSettings(Settings(true));
  Upload(dir.Write("b.txt", "b"));
  EXPECT_FALSE(Sent("EPSV"));
  EXPECT_TRUE(Sent("PASV"));
  EXPECT_EQ(server.Stored("b.txt"), "b");
}

TEST_F(ConnectionModes, ProfileWithoutSettingsSendsNeitherFeatNorAuth) {
  Upload(dir.Write("c.txt", "c"));
  EXPECT_FALSE(Sent("FEAT"));
  EXPECT_FALSE(Sent("AUTH TLS"));
  EXPECT_TRUE(Sent("PORT *"));
}

struct RefusedAuthCase {
  const char* name;
  const char* feat;       // scripted FEAT reply
  const char* authReply;  // scripted AUTH reply
  bool authSent;
};

class ExplicitIfAvailable : public ConnectionModes, public ::testing::WithParamInterface<RefusedAuthCase> {};

TEST_P(ExplicitIfAvailable, FallsBackToPlainWithAStatusLine) {
  server.Reply("FEAT", GetParam().feat);
  server.Reply("AUTH", GetParam().authReply);
  ftp.ApplyConnectionSettings(Settings(true, TFtpEncryption::ExplicitIfAvailable));
  Upload(dir.Write("d.txt", "d"));
  EXPECT_EQ(Sent("AUTH TLS"), GetParam().authSent);
  EXPECT_FALSE(Sent("PBSZ 0"));
  EXPECT_TRUE(Sent("USER web"));
  EXPECT_EQ(server.Stored("d.txt"), "d");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("暗号化されていません"), std::string::npos) << messages[0];
}

INSTANTIATE_TEST_SUITE_P(Servers, ExplicitIfAvailable,
                         ::testing::Values(RefusedAuthCase{"AuthRefused", "500 FEAT unknown\r\n",
                                                           "502 Not implemented.\r\n", true},
                                           RefusedAuthCase{"AuthNotAdvertised", "211-Features:\r\n PASV\r\n211 End\r\n",
                                                           "234 would be wrong to ask\r\n", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionModes, RequiredTlsRefusedEndsBeforeTheUserName) {
  server.Reply("AUTH", "530 Not available.\r\n");
  ftp.ApplyConnectionSettings(Settings(false, TFtpEncryption::Explicit));
  EXPECT_THROW(ftp.Connect(), ETlsRefused);
  EXPECT_FALSE(ftp.IdFTP1.IsConnected());
  EXPECT_FALSE(Sent("USER web"));
  EXPECT_FALSE(Sent("PASS pw"));
}

TEST_F(ConnectionModes, NothingAfterAuthTlsGoesInClear) {
  server.Reply("AUTH", "234 Proceed with negotiation.\r\n");
  ftp.ApplyConnectionSettings(Settings(true, TFtpEncryption::Explicit));
  // The scripted server speaks no TLS: the handshake fails, and what the
  // client sent after the 234 must be a TLS record, not a command.
  EXPECT_ANY_THROW(ftp.Connect());
  server.WaitUntilIdle();
  std::string raw = server.AfterTlsStart();
  ASSERT_FALSE(raw.empty());
  EXPECT_EQ(static_cast<unsigned char>(raw[0]), 0x16) << "not a TLS handshake record";
  EXPECT_EQ(raw.find("USER"), std::string::npos);
  EXPECT_EQ(raw.find("PBSZ"), std::string::npos);
  EXPECT_FALSE(Sent("USER web"));
}

TEST_F(ConnectionModes, ActiveDataPortServesOnlyTheControlPeer) {
  // Another loopback address reaches the announced port first.
  int intruder = -1;
  std::string received = "unset";
  server.SetBeforeDataConnect([&](const std::string& address, int port) {
    intruder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
    ::bind(intruder, reinterpret_cast<sockaddr*>(&from), sizeof from);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    ASSERT_EQ(::connect(intruder, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ::send(intruder, "-rw-r--r-- 1 evil evil 1 Dec 08 09:28 injected\r\n", 48, MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  });
  server.AddListing("-rw-r--r-- 1 web web 1 Dec 08 09:28 honest.html\r\n");
  ftp.Connect();
  ftp.GetRemoteFileInfo("*.*");
  ASSERT_EQ(ftp.IdFTP1.ParsedListing().Count(), 1);
  EXPECT_EQ(ftp.IdFTP1.ParsedListing()[0].FileName, "honest.html");
  ftp.PutFile(dir.Write("secret.txt", "secret bytes"));
  ftp.Disconnect();
  EXPECT_EQ(server.Stored("secret.txt"), "secret bytes");
  ASSERT_GE(intruder, 0);
  char buffer[64];
  timeval tv{1, 0};
  ::setsockopt(intruder, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ssize_t n = ::recv(intruder, buffer, sizeof buffer, 0);
  EXPECT_LE(n, 0) << "the intruder received bytes";
  ::close(intruder);
}

TEST_F(ConnectionModes, MkdRefusedOnAnUnlistedFolderEntersIt) {
  server.AddListing("");
  server.Reply("MKD .well-known", "550 Create directory operation failed.\r\n");
  Upload(dir.Write("x.txt", "x"));
  ftp.Connect();
  ftp.AdjustRemoteDir("/.well-known/acme/");
  ftp.Disconnect();
  Lines all = server.Transcript();
  Lines tail(all.end() - 6, all.end());
  EXPECT_EQ(tail, (Lines{"PORT *", "LIST", "MKD .well-known", "CWD .well-known", "MKD acme", "CWD acme"}));
}

TEST_F(ConnectionModes, MkdRefusedAndCwdRefusedReportsTheMkdRefusal) {
  server.AddListing("");
  server.Reply("MKD", "550 Permission denied.\r\n");
  server.Reply("CWD nope", "550 No such directory.\r\n");
  ftp.Connect();
  try {
    ftp.AdjustRemoteDir("/nope/");
    FAIL() << "no error";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyErrorCode(), 550);
    EXPECT_STREQ(e.what(), "Permission denied.\r\n");
  }
}

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

struct Ipv6Case {
  const char* name;
  const char* host;
  bool passive;
  const char* dataCommand;
};

class Ipv6Loopback : public ::testing::TestWithParam<Ipv6Case> {};

TEST_P(Ipv6Loopback, CarriesControlAndDataOverIpv6) {
  test::FakeFtpServer server(true);
  test::TempDir dir;
  TFTP ftp;
  ftp.HostInfo = THostInfo{GetParam().host, "web", "pw", server.Port()};
  ftp.IdFTP1.ReadTimeout = 5000;
  ftp.IdFTP1.AcceptTimeout = 2000;
  ftp.ApplyConnectionSettings(Settings(GetParam().passive));
  server.AddListing("drwxr-xr-x 2 web web 4096 Dec 08 09:28 www\r\n");
  ftp.Connect();
  ftp.AdjustRemoteDir("/www/");
  ftp.ChangeRemoteDir("/www/");
  ftp.PutFile(dir.Write("v6.txt", "over ipv6"));
  ftp.Disconnect();
  EXPECT_EQ(server.Stored("v6.txt"), "over ipv6");
  Lines all = server.Transcript();
  EXPECT_EQ(std::count(all.begin(), all.end(), GetParam().dataCommand), 2) << GetParam().dataCommand;
  EXPECT_EQ(std::count(all.begin(), all.end(), "PORT *"), 0);
  EXPECT_EQ(std::count(all.begin(), all.end(), "PASV"), 0);
}

INSTANTIATE_TEST_SUITE_P(Hosts, Ipv6Loopback,
                         ::testing::Values(Ipv6Case{"BareActive", "::1", false, "EPRT *"},
                                           Ipv6Case{"BracketedActive", "[::1]", false, "EPRT *"},
                                           Ipv6Case{"BarePassive", "::1", true, "EPSV"},
                                           Ipv6Case{"BracketedPassive", "[::1]", true, "EPSV"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

struct SilentTlsCase {
  const char* name;
  bool cancel;  // the user aborts (else the read time-out runs out)
};

class SilentTlsServer : public ::testing::TestWithParam<SilentTlsCase> {};

TEST_P(SilentTlsServer, HandshakeWaitEndsOnTimeOutOrCancel) {
  test::FakeFtpServer server;
  server.Reply("AUTH", "234 Proceed.\r\n");
  server.SetHoldAfterAuth(4000);  // accepts AUTH, then never answers the handshake
  TFTP ftp;
  ftp.HostInfo = THostInfo{"127.0.0.1", "web", "pw", server.Port()};
  ftp.IdFTP1.ReadTimeout = GetParam().cancel ? 10000 : 300;
  ftp.ApplyConnectionSettings(Settings(false, TFtpEncryption::Explicit));
  std::thread canceller;
  if (GetParam().cancel) {
    canceller = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ftp.CancelRequested = 1;
    });
  }
  auto started = std::chrono::steady_clock::now();
  if (GetParam().cancel) {
    EXPECT_THROW(ftp.Connect(), EIdCancelled);
  } else {
    EXPECT_THROW(ftp.Connect(), EIdReadTimeout);
  }
  // Well before the server would have let go.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3000));
  EXPECT_FALSE(ftp.IdFTP1.IsConnected());
  if (canceller.joinable()) canceller.join();
}

INSTANTIATE_TEST_SUITE_P(Waits, SilentTlsServer,
                         ::testing::Values(SilentTlsCase{"TimeOut", false}, SilentTlsCase{"Cancel", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovra
