#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

using InitializeTest = SdkTest;

TEST_F(InitializeTest, RegistersPlacementsAndReportsNoAds) {
  startServer(campaignsFor(
      "app", JSON{{"p1", placementObject("enabled", JSON::array({adObject("a1", "videoVast")}))},
                  {"p2", placementObject("enabled", JSON::array())}}));
  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onNoAds:p2", "onInit:[p1]"}));
  EXPECT_TRUE(sdk().isInitialized());
  EXPECT_TRUE(logged("ZelController: onNoAds for placement p2"));
}

}  // namespace
}  // namespace zelvora::test
