// The client against servers that stall, trickle, flood or drop: every wait
// ends at its limit or at an abort, every answer is bounded in memory, and a
// store the server reports as failed is a failure.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "ftp/id_exceptions.h"
#include "ftp/id_ftp.h"
#include "support/fake_ftp_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::FakeFtpServer;
using Clock = std::chrono::steady_clock;

// A listening port whose accept queue is full and never drained: the
// platform drops further connection attempts without any answer, as a
// firewall that swallows them does.
class DroppingListener {
 public:
  DroppingListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(listener_, 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    for (int i = 0; i < 3; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
      fillers_.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ~DroppingListener() {
    for (int fd : fillers_) ::close(fd);
    ::close(listener_);
  }
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

class HostileServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.Username = "web";
    client.Password = "pw";
    client.ReadTimeout = 30000;
    client.AcceptTimeout = 30000;
    client.ConnectTimeout = 30000;
    client.CancelFlag = &cancel;
  }
  double Seconds(Clock::time_point since) const { return std::chrono::duration<double>(Clock::now() - since).count(); }

  FakeFtpServer server;
  TIdFTP client;
  TCancelFlag cancel{0};
  test::TempDir dir;
};

TEST_F(HostileServerTest, TheTimeLimitHoldsForAWholeReplyAndAWholeListing) {
  struct Case {
    const char* name;
    std::function<void(FakeFtpServer&, TIdFTP&)> arrange;
    std::function<void(TIdFTP&)> act;
  } cases[] = {
      // 60 bytes at one every 100 ms: each read is quick, the reply is not.
      {"trickled greeting",
       [](FakeFtpServer& s, TIdFTP&) {
         s.SetGreeting("220 " + std::string(54, '.') + "\r\n");
         s.SetTrickle(100);
       },
       [](TIdFTP& c) { EXPECT_THROW(c.OpenSession(), EIdReadTimeout); }},
      {"trickled listing",
       [](FakeFtpServer& s, TIdFTP&) {
         s.AddListing(std::string(60, 'x') + "\r\n");
         s.SetListingTrickle(100);
       },
       [](TIdFTP& c) {
         c.OpenSession();
         EXPECT_THROW(c.ListDirectory(), EIdReadTimeout);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer hostile;
    client.Port = hostile.Port();
    client.ReadTimeout = 1000;
    c.arrange(hostile, client);
    auto start = Clock::now();
    c.act(client);
    EXPECT_LT(Seconds(start), 3.0);
    client.CloseSession();
  }
}

TEST_F(HostileServerTest, ConnectEndsAtItsLimitOrWithTheRefusal) {
  DroppingListener dropping;
  int closedPort = 0;
  {
    FakeFtpServer gone;
    closedPort = gone.Port();
  }
  struct Case {
    int port;
    int error;
  } cases[] = {{dropping.Port(), kWsaETimedOut}, {closedPort, kWsaEConnRefused}};
  client.ConnectTimeout = 500;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    client.Port = c.port;
    auto start = Clock::now();
    try {
      client.OpenSession();
      FAIL() << "the connect succeeded";
    } catch (const EIdSocketError& e) {
      EXPECT_EQ(e.LastError(), c.error);
    }
    EXPECT_LT(Seconds(start), 3.0);
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST_F(HostileServerTest, APortOutsideTheRangeIsRefusedBeforeConnecting) {
  for (int port : {70000, -1, 0}) {
    client.Port = port;
    try {
      client.OpenSession();
      ADD_FAILURE() << "connected on " << port;
    } catch (const EIdException& e) {
      EXPECT_EQ(std::string(e.what()), "ポート番号 " + std::to_string(port) + " は使えません (1 から 65535 まで)");
    }
  }
  EXPECT_EQ(server.Sessions(), 0);
}

TEST_F(HostileServerTest, EndlessAnswersStopAtTheirCap) {
  struct Case {
    const char* name;
    std::function<void(FakeFtpServer&)> arrange;
    std::function<void(TIdFTP&)> act;
  } cases[] = {
      {"endless greeting", [](FakeFtpServer& s) { s.SetGreeting(FakeFtpServer::kEndless); },
       [](TIdFTP& c) { EXPECT_THROW(c.OpenSession(), EIdReplyTooLong); }},
      {"endless reply to PWD", [](FakeFtpServer& s) { s.Reply("PWD", FakeFtpServer::kEndless); },
       [](TIdFTP& c) {
         c.OpenSession();
         EXPECT_THROW(c.QueryWorkingDir(), EIdReplyTooLong);
       }},
      {"endless listing", [](FakeFtpServer& s) { s.AddListing(FakeFtpServer::kEndless); },
       [](TIdFTP& c) {
         c.OpenSession();
         EXPECT_THROW(c.ListDirectory(), EIdListingTooLong);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer hostile;
    client.Port = hostile.Port();
    c.arrange(hostile);
    c.act(client);
    client.CloseSession();
  }
}

TEST_F(HostileServerTest, AnAbortEndsEveryWaitWithinASecond) {
  std::string local = dir.Write("a.txt", "abc");
  // More than the loopback socket buffers hold, so the sender has to wait.
  std::string big = dir.Write("big.bin", std::string(32 << 20, 'b'));
  struct Case {
    const char* name;
    std::function<void(FakeFtpServer&)> arrange;
    std::function<void(TIdFTP&)> act;
  } cases[] = {
      {"greeting never comes", [](FakeFtpServer& s) { s.SetGreeting(""); }, [](TIdFTP& c) { c.OpenSession(); }},
      {"reply never comes", [](FakeFtpServer& s) { s.Reply("PWD", ""); },
       [](TIdFTP& c) {
         c.OpenSession();
         c.QueryWorkingDir();
       }},
      {"data connection never opened", [](FakeFtpServer& s) { s.SetOpenDataConnections(false); },
       [&local](TIdFTP& c) {
         c.OpenSession();
         c.StoreFile(local, "a.txt");
       }},
      {"final reply never comes", [](FakeFtpServer& s) { s.Reply("STOR+", ""); },
       [&local](TIdFTP& c) {
         c.OpenSession();
         c.StoreFile(local, "a.txt");
       }},
      {"upload never read", [](FakeFtpServer& s) { s.SetStallUploads(true); },
       [&big](TIdFTP& c) {
         c.OpenSession();
         c.StoreFile(big, "big.bin");
       }},
      {"listing never ends",
       [](FakeFtpServer& s) {
         s.AddListing(std::string(200, 'x'));
         s.SetListingTrickle(100);
       },
       [](TIdFTP& c) {
         c.OpenSession();
         c.ListDirectory();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFtpServer hostile;
    client.Port = hostile.Port();
    c.arrange(hostile);
    cancel = 0;
    std::thread press([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      cancel = 1;
    });
    auto start = Clock::now();
    EXPECT_THROW(c.act(client), EIdCancelled);
    double took = Seconds(start);
    press.join();
    EXPECT_LT(took, 1.4);
    client.CloseSession();
  }
}

TEST_F(HostileServerTest, AbortEndsAWaitForAConnectThatIsDropped) {
  DroppingListener dropping;
  client.Port = dropping.Port();
  std::thread press([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    cancel = 1;
  });
  auto start = Clock::now();
  EXPECT_THROW(client.OpenSession(), EIdCancelled);
  double took = Seconds(start);
  press.join();
  EXPECT_LT(took, 1.4);
}

TEST_F(HostileServerTest, AReplyThatArrivesPromptlyIsReadEvenAfterAnAbort) {
  // The reply to ABOR, say: an abort cuts short only a wait that drags on.
  client.OpenSession();
  cancel = 1;
  EXPECT_EQ(client.QueryWorkingDir(), "/");
}

TEST_F(HostileServerTest, AStoreTheServerReportsAsFailedIsAFailure) {
  std::string local = dir.Write("a.txt", "abc");
  struct Case {
    const char* finalReplies;
    int code;
  } cases[] = {
      {"426 Connection closed; transfer aborted.\r\n226 Closing data connection.\r\n", 426},
      {"426 Connection closed; transfer aborted.\r\n", 426},
      {"450 File unavailable.\r\n225 Data connection open.\r\n", 450},
      {"451 Local error in processing.\r\n", 451},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.finalReplies);
    FakeFtpServer hostile;
    hostile.Reply("STOR+", c.finalReplies);
    client.Port = hostile.Port();
    client.ReadTimeout = 2000;
    client.OpenSession();
    try {
      client.StoreFile(local, "a.txt");
      FAIL() << "the failed store counted as a success";
    } catch (const EIdProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyErrorCode(), c.code);
    }
    client.CloseSession();
  }
}

}  // namespace
}  // namespace tovra
