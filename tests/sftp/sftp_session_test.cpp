// The SFTP session: bounded and cancellable waits against servers that do
// not answer, and, against a real sshd, byte-identical uploads in both name
// encodings, host key refusals before any login attempt, key-file login, an
// abort that cuts a large store at once and parallel sessions.
#include "sftp/sftp_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "ftp/id_exceptions.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "support/sshd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A listener that accepts and never says a word.
struct SilentServer {
  SilentServer() {
    listener = TSocket::CreateStream();
    listener.Bind("127.0.0.1", 0);
    listener.Listen(4);
  }
  TSocket listener;
};

TEST(SftpSessionWaits, ARefusedConnectionIsASocketError) {
  SilentServer closed;
  int port = closed.listener.LocalPort();
  closed.listener.Close();
  TSftpSession session;
  session.Settings.host = "127.0.0.1";
  session.Settings.port = port;
  try {
    session.Connect();
    FAIL() << "connected";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), kWsaEConnRefused);
  }
  EXPECT_FALSE(session.Connected());
}

// A stored port outside 1-65535 is refused by name before anything is
// dialled; 65536 + P must not reach port P.
TEST(SftpSessionWaits, APortOutsideTheRangeIsRefusedNeverWrapped) {
  SilentServer silent;
  const int listening = silent.listener.LocalPort();
  for (int port : {65536 + listening, -1, 0}) {
    TSftpSession session;
    session.Settings.host = "127.0.0.1";
    session.Settings.port = port;
    session.Settings.timeoutMs = 300;
    try {
      session.Connect();
      ADD_FAILURE() << "connected on " << port;
    } catch (const EIdException& e) {
      EXPECT_EQ(std::string(e.what()), "ポート番号 " + std::to_string(port) + " は使えません (1 から 65535 まで)");
    }
  }
}

TEST(SftpSessionWaits, ASilentServerTimesOut) {
  SilentServer silent;
  TSftpSession session;
  session.Settings.host = "127.0.0.1";
  session.Settings.port = silent.listener.LocalPort();
  session.Settings.timeoutMs = 300;
  auto start = Clock::now();
  EXPECT_THROW(session.Connect(), EIdReadTimeout);
  EXPECT_LT(MillisecondsSince(start), 3000);
}

TEST(SftpSessionWaits, CancelEndsTheWaitForASilentServer) {
  SilentServer silent;
  TSftpSession session;
  session.Settings.host = "127.0.0.1";
  session.Settings.port = silent.listener.LocalPort();
  std::atomic<std::uint8_t> runCancel{0};
  session.RunCancel = &runCancel;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    runCancel = 1;
  });
  auto start = Clock::now();
  EXPECT_THROW(session.Connect(), EIdCancelled);
  canceller.join();
  EXPECT_LT(MillisecondsSince(start), 1500);
}

TEST(SftpSessionWaits, AnAlreadyCancelledSessionDoesNotConnect) {
  SilentServer silent;
  TSftpSession session;
  session.Settings.host = "127.0.0.1";
  session.Settings.port = silent.listener.LocalPort();
  session.CancelRequested = 1;
  EXPECT_THROW(session.Connect(), EIdCancelled);
}

std::string Pattern(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::uint32_t x = seed | 1;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<char>(x);
  }
  return bytes;
}

std::string ReadOs(const std::string& osPath) {
  std::ifstream in(osPath, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Records the question and gives a fixed answer.
struct AnsweringPrompt : IHostKeyPrompt {
  explicit AnsweringPrompt(TTrustAnswer a) : answer(a) {}
  TTrustAnswer TrustUnknownHostKey(const std::string& host, int port, const THostKey& key) override {
    asked = host + ":" + std::to_string(port) + " " + key.type + " " + key.fingerprint;
    return answer;
  }
  TTrustAnswer answer;
  std::string asked;
};

class RealServerSftp : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::SshdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    server = std::make_unique<test::SshdServer>(root.Sub("login"));
    knownHosts = local.Write("known_hosts", "");
  }
  void Configure(TSftpSession& session) const {
    session.Settings.host = "127.0.0.1";
    session.Settings.port = server->Port();
    session.Settings.user = test::SshdServer::User();
    session.Settings.password = test::SshdServer::Password();
    session.Settings.hostKeyPin = server->Fingerprint();
    session.Settings.knownHostsFile = knownHosts;
    session.Settings.timeoutMs = 10000;
  }
  std::string Login() const { return ToOsPath(root.Sub("login")); }
  bool LogShowsLoginAttempt() const { return server->Log().find("userauth-request") != std::string::npos; }

  test::TempDir root;
  test::TempDir local;
  std::unique_ptr<test::SshdServer> server;
  std::string knownHosts;
  TSftpSession session;
};

TEST_F(RealServerSftp, TheDemoSiteArrivesByteIdenticalInBothNameEncodings) {
  const std::string site = test::SourceDir() + "/demo/site";
  for (bool utf8 : {true, false}) {
    Configure(session);
    session.Settings.utf8Names = utf8;
    session.Connect();
    EXPECT_EQ(session.HomeDir(), FromOsPath(Login()));
    std::string base = session.HomeDir() + (utf8 ? "/utf8" : "/cp932");
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(ToOsPath(site))) {
      if (!entry.is_regular_file()) continue;
      std::string relative = FromOsPath(fs::relative(entry.path(), ToOsPath(site)).string());
      std::string folder = base + "/" + relative.substr(0, relative.find_last_of('/') + 1);
      session.MakeFolders(folder);
      session.StoreFile(site + "/" + relative, base + "/" + relative);
      // On the server's disk the name is the bytes the session sent.
      std::string onDisk = Login() + (utf8 ? "/utf8/" + Cp932ToUtf8(relative) : "/cp932/" + relative);
      EXPECT_EQ(ReadOs(onDisk), ReadOs(entry.path().string())) << relative;
      ++files;
    }
    EXPECT_GE(files, 10);
    session.Close();
  }
  // "ねこ.gif" in CP932 bytes is not the UTF-8 name.
  EXPECT_TRUE(fs::exists(Login() + "/cp932/img/" + test::Hex("82 CB 82 B1") + ".gif"));
  EXPECT_TRUE(fs::exists(Login() + "/utf8/img/" + Cp932ToUtf8(test::Hex("82 CB 82 B1")) + ".gif"));
}

TEST_F(RealServerSftp, ListingNamesTypesAndSizesInTheSiteEncoding) {
  Configure(session);
  session.Connect();
  std::string name = test::Hex("95 5C 8E 86");  // 表紙: its second byte is "\"
  session.MakeFolders(session.HomeDir() + "/a/b/");
  session.StoreFile(local.Write("x", Pattern(1234, 7)), session.HomeDir() + "/a/" + name);
  auto entries = session.List(session.HomeDir() + "/a");
  ASSERT_EQ(entries.size(), 2u);
  std::sort(entries.begin(), entries.end(), [](auto& x, auto& y) { return x.type < y.type; });
  EXPECT_EQ(entries[0].type, '-');
  EXPECT_EQ(entries[0].name, name);
  EXPECT_EQ(entries[0].size, 1234);
  EXPECT_EQ(entries[1].type, 'd');
  EXPECT_EQ(entries[1].name, "b");

  // A name the server keeps that CP932 cannot hold never passes for another.
  std::ofstream(Login() + "/a/smile\xF0\x9F\x98\x80.txt") << "x";
  bool shown = false;
  for (const auto& e : session.List(session.HomeDir() + "/a")) shown = shown || e.name == "smile[U+1F600].txt";
  EXPECT_TRUE(shown);
}

TEST_F(RealServerSftp, FoldersAreMadeLevelByLevelAndAFileInTheWayIsAnError) {
  Configure(session);
  session.Connect();
  std::string home = session.HomeDir();
  session.MakeFolders(home + "/one/two/three/");
  EXPECT_TRUE(fs::is_directory(Login() + "/one/two/three"));
  session.StoreFile(local.Write("f", "x"), home + "/one/file");
  EXPECT_THROW(session.MakeFolders(home + "/one/file/below/"), ESftpError);
  // A store into a folder that is missing is the server's refusal, named.
  try {
    session.StoreFile(local.Write("g", "y"), home + "/none/g");
    FAIL() << "stored";
  } catch (const ESftpError& e) {
    EXPECT_NE(std::string(e.what()).find("/none/g"), std::string::npos) << e.what();
  }
}

TEST_F(RealServerSftp, AWrongPinStopsBeforeAnyLoginAttempt) {
  Configure(session);
  session.Settings.hostKeyPin = "SHA256:uNiVztksCsDhcc0u9e8BujQXVUpKZIDTMczCvj3tD2s";
  try {
    session.Connect();
    FAIL() << "connected";
  } catch (const EHostKeyChanged& e) {
    EXPECT_EQ(e.Key().fingerprint, server->Fingerprint());
    EXPECT_EQ(e.Key().type, "ssh-ed25519");
  }
  EXPECT_FALSE(session.Connected());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the log is written by sshd
  EXPECT_FALSE(LogShowsLoginAttempt()) << server->Log();
}

TEST_F(RealServerSftp, AChangedKnownHostKeyStopsEvenWithAPromptThatTrusts) {
  Configure(session);
  session.Settings.hostKeyPin.clear();
  local.Write("known_hosts", server->KnownHostsLineOfOtherKey());
  AnsweringPrompt prompt(TTrustAnswer::TrustAndRemember);
  session.Prompt = &prompt;
  EXPECT_THROW(session.Connect(), EHostKeyChanged);
  EXPECT_EQ(prompt.asked, "");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(LogShowsLoginAttempt()) << server->Log();
}

TEST_F(RealServerSftp, AnUnknownKeyAsksAndARefusalStopsBeforeLogin) {
  Configure(session);
  session.Settings.hostKeyPin.clear();
  AnsweringPrompt prompt(TTrustAnswer::Reject);
  session.Prompt = &prompt;
  EXPECT_THROW(session.Connect(), EHostKeyUnknown);
  EXPECT_EQ(prompt.asked, "127.0.0.1:" + std::to_string(server->Port()) + " ssh-ed25519 " + server->Fingerprint());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(LogShowsLoginAttempt()) << server->Log();
}

TEST_F(RealServerSftp, KnownHostsOrATrustingAnswerLetsTheLoginGoOn) {
  Configure(session);
  session.Settings.hostKeyPin.clear();
  AnsweringPrompt prompt(TTrustAnswer::TrustOnce);
  session.Prompt = &prompt;
  session.Connect();
  EXPECT_TRUE(session.Connected());
  EXPECT_NE(prompt.asked, "");
  session.Close();

  local.Write("known_hosts", server->KnownHostsLine());
  session.Prompt = nullptr;
  session.Connect();
  EXPECT_TRUE(session.Connected());
  EXPECT_TRUE(LogShowsLoginAttempt()) << server->Log();
}

TEST_F(RealServerSftp, FetchHostKeyGivesTheFingerprintSshKeygenPrints) {
  Configure(session);
  session.Settings.user.clear();
  THostKey key = session.FetchHostKey();
  EXPECT_EQ(key.type, "ssh-ed25519");
  EXPECT_EQ(key.fingerprint, server->Fingerprint());
  EXPECT_FALSE(session.Connected());
}

TEST_F(RealServerSftp, LoginFailuresSayWhatToCheckWithoutThePassword) {
  std::string key = server->MakeKeyPair("user_key", "key phrase");
  server->AuthorizeKey(key);
  // A FIFO with no writer would hold a plain open for ever.
  const std::string fifo = key + ".fifo";
  ASSERT_EQ(::mkfifo(ToOsPath(fifo).c_str(), 0600), 0);
  struct Row {
    std::string password;
    std::string keyFile;
    bool works;
    std::string mentions;
  } rows[] = {
      {test::SshdServer::Password(), "", true, ""},
      {"wrong-password", "", false, "パスワード"},
      {"key phrase", key, true, ""},
      {"wrong phrase", key, false, "秘密鍵"},
      {"key phrase", key + ".missing", false, "秘密鍵"},
      {"key phrase", fifo, false, "秘密鍵 " + fifo + " を読めません"},
      {"key phrase", ExtractFileDir(key), false, "秘密鍵"},
  };
  for (const auto& row : rows) {
    Configure(session);
    session.Settings.password = row.password;
    session.Settings.privateKeyFile = row.keyFile;
    if (row.works) {
      EXPECT_NO_THROW(session.Connect()) << row.keyFile;
      EXPECT_TRUE(session.Connected());
      session.Close();
      continue;
    }
    try {
      session.Connect();
      ADD_FAILURE() << "logged in with " << row.password;
    } catch (const EIdException& e) {
      EXPECT_NE(std::string(e.what()).find(row.mentions), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find(row.password), std::string::npos) << e.what();
    }
    EXPECT_FALSE(session.Connected());
  }
}

TEST_F(RealServerSftp, AnAbortDuringALargeStoreEndsWithinTwoSeconds) {
  std::string big = local.Sub("big");
  {
    std::ofstream out(ToOsPath(big), std::ios::binary);
    std::string block = Pattern(1 << 20, 3);
    for (int i = 0; i < 512; ++i) out << block;
  }
  Configure(session);
  session.Connect();
  Clock::time_point aborted{};
  std::atomic<bool> once{false};
  std::thread aborter;
  session.OnProgress = [&](std::int64_t sent) {
    if (sent >= (8 << 20) && !once.exchange(true)) {
      aborter = std::thread([&] {
        aborted = Clock::now();
        session.Abort();
      });
    }
  };
  EXPECT_THROW(session.StoreFile(big, session.HomeDir() + "/big"), EIdCancelled);
  auto ended = Clock::now();
  ASSERT_TRUE(aborter.joinable());
  aborter.join();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - aborted).count(), 2000);
  EXPECT_LT(fs::file_size(Login() + "/big"), fs::file_size(ToOsPath(big)));
  session.Close();
}

TEST_F(RealServerSftp, EightParallelSessionsAllArrive) {
  constexpr int kSessions = 8;
  constexpr int kFilesEach = 6;
  std::vector<std::string> errors(kSessions);
  std::vector<std::thread> threads;
  for (int s = 0; s < kSessions; ++s) {
    threads.emplace_back([&, s] {
      try {
        TSftpSession mine;
        Configure(mine);
        mine.Connect();
        for (int f = 0; f < kFilesEach; ++f) {
          // Every session needs the same new folders at once.
          std::string folder = mine.HomeDir() + "/shared/d" + std::to_string(f % 3) + "/";
          std::string name = "s" + std::to_string(s) + "f" + std::to_string(f);
          mine.MakeFolders(folder);
          mine.StoreFile(local.Write(name, Pattern(1000 + 70000 * f + s, s * 31 + f)), folder + name);
        }
        mine.Close();
      } catch (const std::exception& e) {
        errors[s] = e.what();
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int s = 0; s < kSessions; ++s) {
    EXPECT_EQ(errors[s], "") << "session " << s;
    for (int f = 0; f < kFilesEach; ++f) {
      std::string name = "s" + std::to_string(s) + "f" + std::to_string(f);
      EXPECT_EQ(ReadOs(Login() + "/shared/d" + std::to_string(f % 3) + "/" + name),
                Pattern(1000 + 70000 * f + s, s * 31 + f))
          << name;
    }
  }
}

}  // namespace
}  // namespace tovra
