#include "DeviceDataProvider.h"
#include "support/SdkTest.h"
#include "zelvora/platform/Device.h"

namespace zelvora::test {
namespace {

class DeviceDataTest : public SdkTest {
 protected:
  template <class Change>
  void install(Change change) {
    auto env = environment();
    change(env);
    platform::setHostEnvironment(env);
  }
};

// Screen sizes and coordinates travel as whole numbers truncated toward zero, as strings.
TEST_F(DeviceDataTest, NumbersAreTruncatedTowardZero) {
  install([](auto& env) {
    env.systemVersion = "11.2";
    env.model = "iPhone";
    env.screenWidth = 320.5;
    env.screenHeight = 568.99;
  });
  EXPECT_EQ(DeviceDataProvider::getDeviceHardwareData(), (JSON{{"os", "ios"},
                                                               {"osver", "11.2"},
                                                               {"model", "iPhone"},
                                                               {"make", "Apple"},
                                                               {"w", "320"},
                                                               {"h", "568"}}));

  for (const auto& [lat, lng, text] :
       {std::tuple{52.93, 13.41, "52 13"}, std::tuple{-33.87, -0.4, "-33 0"},
        std::tuple{-89.999, 179.999, "-89 179"}}) {
    install([lat = lat, lng = lng](auto& env) {
      env.locationServicesEnabled = true;
      env.lastKnownLocation = platform::Location{lat, lng};
    });
    const JSON geo = DeviceDataProvider::getDeviceGeoData();
    EXPECT_EQ(geo["lat"].get<std::string>() + " " + geo["lng"].get<std::string>(), text);
  }
}

TEST_F(DeviceDataTest, GeoIsEmptyWithoutServicesOrFix) {
  const JSON empty = {{"lat", ""}, {"lng", ""}};
  install([](auto& env) { env.lastKnownLocation = platform::Location{52.9, 13.4}; });
  EXPECT_EQ(DeviceDataProvider::getDeviceGeoData(), empty);
  install([](auto& env) { env.locationServicesEnabled = true; });
  EXPECT_EQ(DeviceDataProvider::getDeviceGeoData(), empty);
}

// The advertising identifier is sent in canonical upper case; anything that is not a UUID
// becomes the zero UUID, with one console line.
TEST_F(DeviceDataTest, AdvertisingIdentifierIsCanonicalOrZero) {
  install([](auto& env) { env.advertisingIdentifier = "a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d"; });
  EXPECT_EQ(platform::advertising::identifier(), "A1B2C3D4-E5F6-4A7B-8C9D-0E1F2A3B4C5D");
  for (const std::string invalid : {"not-a-uuid", "a1b2c3d4e5f6-4a7b-8c9d-0e1f2a3b4c5d0",
                                    "g1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d"}) {
    lines.clear();
    install([&](auto& env) { env.advertisingIdentifier = invalid; });
    EXPECT_EQ(platform::advertising::identifier(), "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(lines.size(), 1u) << invalid;
  }
}

}  // namespace
}  // namespace zelvora::test
