// The reference server's click tracker: it records the click, then sends the browser on to a
// page of its own, never elsewhere.
#include <gtest/gtest.h>
#include <httplib.h>

#include "zelvora/server/ReferenceServer.h"

namespace zelvora::test {
namespace {

TEST(ClickTracker, RecordsTheClickThenRedirectsOnlyToItsOwnPages) {
  server::ServerOptions options;
  options.campaigns = JSON{{"apps", JSON::object()}};
  server::ReferenceServer server(options);
  server.start();
  httplib::Client client("127.0.0.1", server.port());

  auto landing = client.Get("/t/click?ad=a&to=/assets/landing.html");
  ASSERT_TRUE(landing);
  EXPECT_EQ(landing->status, 302);
  EXPECT_EQ(landing->get_header_value("Location"), "/assets/landing.html");

  for (const char* elsewhere : {"//evil.example/x", "https://evil.example/x", "/\\evil.example"}) {
    auto reply = client.Get("/t/click?ad=b&to=" + httplib::detail::encode_query_param(elsewhere));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 204) << elsewhere;
  }
  EXPECT_EQ(server.beacons().size(), 4u);
  server.stop();
}

}  // namespace
}  // namespace zelvora::test
