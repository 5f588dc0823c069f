#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "net/JsonReading.h"

namespace zelvora {
namespace {

// How every part of the SDK reads a member as text; numbers keep no spurious decimals.
TEST(JsonReadingTest, StringValueAndAsString) {
  const std::pair<JSON, std::string> readings[] = {
      {"text", "text"}, {42, "42"},
      {-7, "-7"},       {std::numeric_limits<std::uint64_t>::max(), "18446744073709551615"},
      {2.0, "2"},       {1.5, "1.5"},
      {0.1, "0.1"},     {JSON::parse("12.0"), "12"},
      {true, "true"},   {nullptr, ""},
      {{{"a", 1}}, ""}, {JSON::array({1, 2}), ""}};
  for (const auto& [value, text] : readings) EXPECT_EQ(stringValue(value), text) << value;
  EXPECT_EQ(asString(JSON("")), std::optional<std::string>(""));
  for (const JSON& other : {JSON(5), JSON(true), JSON(nullptr), JSON::array({"x"})})
    EXPECT_EQ(asString(other), std::nullopt) << other;
  // Lookups on the wrong kind of value read as null instead of throwing.
  EXPECT_TRUE(member(member(JSON("text"), "a"), "b").is_null());
  EXPECT_TRUE(element(JSON::object({{"a", 1}}), 0).is_null());
  EXPECT_TRUE(hasMember(JSON{{"n", nullptr}}, "n"));
}

// The signed text: compact, in insertion order, invalid UTF-8 replaced rather than refused.
TEST(JsonReadingTest, SerializeIsCompactOrderedUtf8) {
  JSON value = JSON::object();
  value["z"] = 1;
  value["a"] = JSON::array({true, nullptr, 2.0});
  value["w"] = "ab\xFF";
  EXPECT_EQ(serialize(value), "{\"z\":1,\"a\":[true,null,2.0],\"w\":\"ab\xEF\xBF\xBD\"}");
}

}  // namespace
}  // namespace zelvora
