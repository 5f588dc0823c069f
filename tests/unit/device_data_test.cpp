#include "DeviceDataProvider.h"
#include "support/SdkTest.h"
#include "zelvora/platform/Device.h"

namespace zelvora::test {
namespace {

class DeviceDataTest : public SdkTest {
 protected:
  /// Installs the fixture's environment with `change` applied.
  template <class Change>
  void install(Change change) {
    auto env = environment();
    change(env);
    platform::setHostEnvironment(env);
  }

  JSON geoAt(double latitude, double longitude) {
    install([&](auto& env) {
      env.locationServicesEnabled = true;
      env.lastKnownLocation = platform::Location{latitude, longitude};
    });
    return DeviceDataProvider::getDeviceGeoData();
  }
};

const char* const kZeroUuid = "00000000-0000-0000-0000-000000000000";

TEST_F(DeviceDataTest, HardwareObjectHoldsStringsOnly) {
  install([](auto& env) {
    env.systemVersion = "11.2";
    env.model = "iPhone";
  });
  EXPECT_EQ(DeviceDataProvider::getDeviceHardwareData(), (JSON{{"os", "ios"},
                                                               {"osver", "11.2"},
                                                               {"model", "iPhone"},
                                                               {"make", "Apple"},
                                                               {"w", "414"},
                                                               {"h", "896"}}));

  install([](auto& env) {
    env.screenWidth = 320.5;
    env.screenHeight = 568.99;
  });
  const JSON hardware = DeviceDataProvider::getDeviceHardwareData();
  EXPECT_EQ(hardware["w"], "320");
  EXPECT_EQ(hardware["h"], "568");
  EXPECT_FALSE(hardware["osver"].get<std::string>().empty());  // the system's own version
}

TEST_F(DeviceDataTest, GeoKeepsWholeDegreesTruncatedTowardZero) {
  EXPECT_EQ(geoAt(52.93, 13.41), (JSON{{"lat", "52"}, {"lng", "13"}}));
  EXPECT_EQ(geoAt(-33.87, -0.4), (JSON{{"lat", "-33"}, {"lng", "0"}}));
  EXPECT_EQ(geoAt(-89.999, 179.999), (JSON{{"lat", "-89"}, {"lng", "179"}}));
}

TEST_F(DeviceDataTest, GeoIsEmptyWithoutServicesOrFix) {
  const JSON empty = {{"lat", ""}, {"lng", ""}};
  EXPECT_EQ(DeviceDataProvider::getDeviceGeoData(), empty);  // the default environment

  install([](auto& env) {
    env.locationServicesEnabled = false;
    env.lastKnownLocation = platform::Location{52.9, 13.4};
  });
  EXPECT_EQ(DeviceDataProvider::getDeviceGeoData(), empty);

  install([](auto& env) { env.locationServicesEnabled = true; });
  EXPECT_EQ(DeviceDataProvider::getDeviceGeoData(), empty);
}

TEST_F(DeviceDataTest, AdvertisingIdentifierIsCanonicalOrZero) {
  EXPECT_EQ(platform::advertising::identifier(), kZeroUuid);

  install([](auto& env) { env.advertisingIdentifier = "a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d"; });
  EXPECT_EQ(platform::advertising::identifier(), "A1B2C3D4-E5F6-4A7B-8C9D-0E1F2A3B4C5D");

  for (const std::string invalid : {"not-a-uuid", "a1b2c3d4e5f6-4a7b-8c9d-0e1f2a3b4c5d0",
                                    "g1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d"}) {
    SCOPED_TRACE(invalid);
    lines.clear();
    install([&](auto& env) { env.advertisingIdentifier = invalid; });
    EXPECT_EQ(platform::advertising::identifier(), kZeroUuid);
    EXPECT_EQ(lines.size(), 1u);
  }
}

}  // namespace
}  // namespace zelvora::test
