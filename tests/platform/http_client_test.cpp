// The HTTP client against a real web server on loopback: bodies arrive
// whole across pieces, requests share a few kept connections, and a
// request added while the run is under way is run too; a body longer than
// a fetch allows ends it.
#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "support/web_server.h"

namespace tovra {
namespace {

TEST(RealServerHttpClientTest, ManyRequestsShareTheAllowedConnections) {
  if (!test::WebServer::NginxInstalled()) GTEST_SKIP() << "http.server closes each connection";
  test::TempDir work;
  const std::string big(300000, 'x');
  work.Write("www/big.bin", big);
  for (int i = 0; i < 20; ++i) work.Write("www/f" + std::to_string(i) + ".txt", std::to_string(i));
  test::WebServer server(work.Sub("www"), "/w/");
  for (int connections : {1, 3}) {
    THttpClient client({connections, 5000, nullptr});
    std::string bodies;
    int done = 0;
    for (int i = 0; i < 20; ++i) {
      client.Add({server.Url() + "f" + std::to_string(i) + ".txt",
                  [&](long, std::string_view piece) {
                    bodies.append(piece);
                    return true;
                  },
                  [&](const THttpResponse& r) {
                    EXPECT_EQ(r.status, 200);
                    // Asked from inside the run: runs in the same run.
                    if (++done == 20) client.Add({server.Url() + "big.bin", nullptr, nullptr});
                  }});
    }
    client.Run();
    EXPECT_EQ(done, 20);
    EXPECT_EQ(bodies.size(), 30u);  // "0".."19"
    EXPECT_GE(client.ConnectionsOpened(), 1);
    EXPECT_LE(client.ConnectionsOpened(), connections) << connections;
  }
  std::string body;
  THttpClient client({1, 5000, nullptr});
  EXPECT_EQ(client.Fetch(server.Url() + "big.bin", big.size(), body).status, 200);
  EXPECT_EQ(body, big);
  const THttpResponse tooLong = client.Fetch(server.Url() + "big.bin", big.size() - 1, body);
  EXPECT_EQ(tooLong.failure, THttpFailure::Other);
}

}  // namespace
}  // namespace tovra
