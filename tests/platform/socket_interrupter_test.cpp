#include "platform/socket_interrupter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/socket.h"

namespace tovra {
namespace {

using Clock = std::chrono::steady_clock;

// Two ends of a loopback TCP connection.
struct Pair {
  TSocket client;
  TSocket server;
  Pair() {
    TSocket listener = TSocket::CreateStream();
    listener.Bind("127.0.0.1", 0);
    listener.Listen(1);
    client = TSocket::CreateStream();
    client.Connect("127.0.0.1", listener.LocalPort());
    server = listener.Accept();
  }
};

TEST(SocketInterrupter, TripWakesAWaitOnARegisteredSocketOnly) {
  Pair watched;
  Pair other;
  TSocketInterrupter interrupter;
  interrupter.Register(watched.server.Handle());
  bool woke = false;
  Clock::time_point tripped;
  std::thread waiter([&] {
    // No data ever comes: only the interrupter can end this wait early.
    woke = watched.server.WaitReadable(10000);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  tripped = Clock::now();
  interrupter.Trip();
  waiter.join();
  EXPECT_LT(Clock::now() - tripped, std::chrono::seconds(1));
  EXPECT_TRUE(woke);
  char byte = 0;
  EXPECT_EQ(watched.server.Receive(&byte, 1), 0u);  // reads as the peer's close
  EXPECT_TRUE(interrupter.Tripped());
  EXPECT_FALSE(other.server.WaitReadable(0));  // not registered: untouched
}

TEST(SocketInterrupter, RegisteringAfterATripShutsAtOnceAndUnregisteredStaysOpen) {
  Pair late;
  Pair gone;
  TSocketInterrupter interrupter;
  interrupter.Register(gone.server.Handle());
  interrupter.Unregister(gone.server.Handle());
  interrupter.Trip();
  interrupter.Register(late.server.Handle());
  EXPECT_TRUE(late.server.WaitReadable(1000));
  char byte = 0;
  EXPECT_EQ(late.server.Receive(&byte, 1), 0u);
  EXPECT_FALSE(gone.server.WaitReadable(0));
  interrupter.Register(-1);  // a closed socket's handle is ignored
}

}  // namespace
}  // namespace tovra
