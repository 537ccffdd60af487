#include "platform/socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "platform/socket_errors.h"

namespace tovra {
namespace {

TEST(SocketErrors, PosixErrorsMapToTheirCodesAndTexts) {
  struct Case {
    int err;
    int code;
    const char* text;
  } cases[] = {
      {ECONNREFUSED, 10061, "Connection refused."},
      {ETIMEDOUT, 10060, "Connection timed out."},
      {EHOSTUNREACH, 10065, "No route to host."},
      {ENETUNREACH, 10051, "Network is unreachable."},
      {ECONNRESET, 10054, "Connection reset by peer."},
      {EPIPE, 10058, "Cannot send or receive after socket is closed."},
      {EADDRINUSE, 10048, "Address already in use."},
      {EWOULDBLOCK, 10035, "Operation would block. "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SocketErrorCodeOf(c.err), c.code) << c.text;
    EXPECT_EQ(SocketErrorText(c.code), c.text);
  }
  EXPECT_EQ(SocketErrorText(11001), "Host not found.");
  EXPECT_EQ(SocketErrorText(12345), "");
  EXPECT_STREQ(EIdSocketError(10061).what(), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_STREQ(EIdSocketError(99).what(), "Socket Error # 99\r\n");
}

TEST(ResolveHost, NamesAndAddresses) {
  EXPECT_EQ(ResolveHost("LOCALHOST"), "127.0.0.1");
  EXPECT_EQ(ResolveHost("LocalHost"), "127.0.0.1");
  EXPECT_EQ(ResolveHost("192.168.0.5"), "192.168.0.5");
  try {
    ResolveHost("no-such-host.invalid");
    FAIL() << "an unknown host resolved";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 11001);
    EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
  }
  EXPECT_THROW(ResolveHost(""), EIdSocketError);
}

TEST(IsDottedIPv4, FourDecimalPartsUpTo255) {
  for (const char* yes : {"0.0.0.0", "127.0.0.1", "255.255.255.255"}) EXPECT_TRUE(IsDottedIPv4(yes)) << yes;
  for (const char* no : {"256.0.0.1", "1.2.3", "1.2.3.4.5", "1..2.3", "a.b.c.d", "1.2.3.4 ", "", "0001.2.3.4"}) {
    EXPECT_FALSE(IsDottedIPv4(no)) << no;
  }
}

TEST(TSocket, ConnectRefusedRaises10061) {
  // A port that was just free: bind, note the port, close.
  TSocket probe = TSocket::CreateStream();
  probe.Bind("127.0.0.1", 0);
  std::uint16_t port = probe.LocalPort();
  probe.Close();
  TSocket socket = TSocket::CreateStream();
  try {
    socket.Connect("127.0.0.1", port);
    FAIL() << "connected to a closed port";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10061);
  }
}

// The connect that a time limit can bound: its outcome is the same as a
// blocking connect's, and the socket blocks again afterwards.
TEST(TSocket, StartedConnectEndsAsABlockingOneWould) {
  TSocket listener = TSocket::CreateStream();
  listener.Bind("127.0.0.1", 0);
  listener.Listen(15);
  TSocket probe = TSocket::CreateStream();
  probe.Bind("127.0.0.1", 0);
  std::uint16_t closedPort = probe.LocalPort();
  probe.Close();
  struct Case {
    std::uint16_t port;
    int error;  // 0: connected
  } cases[] = {{listener.LocalPort(), 0}, {closedPort, 10061}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    TSocket socket = TSocket::CreateStream();
    int error = 0;
    try {
      if (!socket.StartConnect("127.0.0.1", c.port)) {
        ASSERT_TRUE(socket.WaitWritable(2000));
        socket.FinishConnect();
      }
    } catch (const EIdSocketError& e) {
      error = e.LastError();
    }
    EXPECT_EQ(error, c.error);
    if (error == 0) {
      EXPECT_EQ(::fcntl(socket.Handle(), F_GETFL) & O_NONBLOCK, 0);
    }
  }
}

TEST(TSocket, ListenAcceptSendReceive) {
  TSocket listener = TSocket::CreateStream();
  listener.Bind("127.0.0.1", 0);
  listener.Listen(15);
  EXPECT_FALSE(listener.WaitReadable(0));
  TSocket client = TSocket::CreateStream();
  client.Connect("127.0.0.1", listener.LocalPort());
  ASSERT_TRUE(listener.WaitReadable(2000));
  TSocket served = listener.Accept();
  EXPECT_EQ(served.LocalAddress(), "127.0.0.1");
  EXPECT_EQ(client.SendSome("hello", 5), 5u);
  char buffer[16];
  ASSERT_TRUE(served.WaitReadable(2000));
  EXPECT_EQ(served.Receive(buffer, sizeof buffer), 5u);
  client.Close();
  ASSERT_TRUE(served.WaitReadable(2000));
  EXPECT_EQ(served.Receive(buffer, sizeof buffer), 0u);  // the peer's close
  // Sending to a closed peer raises instead of killing the process.
  EXPECT_THROW(
      {
        for (int i = 0; i < 100; ++i) served.SendSome("x", 1);
      },
      EIdSocketError);
}

TEST(TSocket, BindingAPortInUseRaises10048) {
  TSocket first = TSocket::CreateStream();
  first.Bind("127.0.0.1", 0);
  first.Listen(1);
  TSocket second = TSocket::CreateStream();
  try {
    second.Bind("127.0.0.1", first.LocalPort());
    FAIL() << "bound a port in use";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.LastError(), 10048);
  }
}

}  // namespace
}  // namespace tovra
