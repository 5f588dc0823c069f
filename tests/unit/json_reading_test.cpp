#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "net/JsonReading.h"

namespace zelvora {
namespace {

TEST(JsonReadingTest, StringValueOfEveryKind) {
  EXPECT_EQ(stringValue(JSON("text")), "text");
  EXPECT_EQ(stringValue(JSON("")), "");
  EXPECT_EQ(stringValue(JSON(42)), "42");
  EXPECT_EQ(stringValue(JSON(-7)), "-7");
  EXPECT_EQ(stringValue(JSON(std::numeric_limits<std::uint64_t>::max())), "18446744073709551615");
  EXPECT_EQ(stringValue(JSON(2.0)), "2");
  EXPECT_EQ(stringValue(JSON(-3.0)), "-3");
  EXPECT_EQ(stringValue(JSON(1.5)), "1.5");
  EXPECT_EQ(stringValue(JSON(0.1)), "0.1");
  EXPECT_EQ(stringValue(JSON(true)), "true");
  EXPECT_EQ(stringValue(JSON(false)), "false");
  EXPECT_EQ(stringValue(JSON(nullptr)), "");
  EXPECT_EQ(stringValue(JSON::object({{"a", 1}})), "");
  EXPECT_EQ(stringValue(JSON::array({1, 2})), "");
  // Numbers parsed from text read the same way.
  const JSON parsed = JSON::parse(R"({"i": 12, "f": 12.0, "g": 12.25})");
  EXPECT_EQ(stringValue(parsed["i"]), "12");
  EXPECT_EQ(stringValue(parsed["f"]), "12");
  EXPECT_EQ(stringValue(parsed["g"]), "12.25");
}

TEST(JsonReadingTest, AsStringOnlyForStrings) {
  EXPECT_EQ(asString(JSON("http://a/b")), "http://a/b");
  EXPECT_EQ(asString(JSON("")), std::optional<std::string>(""));
  EXPECT_EQ(asString(JSON(5)), std::nullopt);
  EXPECT_EQ(asString(JSON(true)), std::nullopt);
  EXPECT_EQ(asString(JSON(nullptr)), std::nullopt);
  EXPECT_EQ(asString(JSON::array({"x"})), std::nullopt);
}

TEST(JsonReadingTest, LookupsNeverThrow) {
  const JSON object = {{"a", {{"b", "deep"}}}, {"n", nullptr}};
  EXPECT_EQ(member(member(object, "a"), "b"), "deep");
  EXPECT_TRUE(member(object, "missing").is_null());
  EXPECT_TRUE(member(member(member(object, "missing"), "x"), "y").is_null());
  EXPECT_TRUE(member(JSON("text"), "a").is_null());
  EXPECT_TRUE(member(JSON::array({1}), "0").is_null());
  EXPECT_EQ(stringValue(member(object, "missing")), "");

  EXPECT_TRUE(hasMember(object, "n"));  // an explicit null counts
  EXPECT_FALSE(hasMember(object, "missing"));
  EXPECT_FALSE(hasMember(JSON::array(), "a"));

  const JSON list = JSON::array({"first", 2});
  EXPECT_EQ(element(list, 0), "first");
  EXPECT_TRUE(element(list, 2).is_null());
  EXPECT_TRUE(element(object, 0).is_null());
}

TEST(JsonReadingTest, SerializeIsCompactOrderedUtf8) {
  JSON value = JSON::object();
  value["z"] = 1;
  value["a"] = JSON::array({true, false, nullptr, 1.5, 2.0});
  value["o"] = JSON::object({{"k", "v"}});
  value["u"] = "caf\xC3\xA9";
  EXPECT_EQ(serialize(value),
            "{\"z\":1,\"a\":[true,false,null,1.5,2.0],\"o\":{\"k\":\"v\"},\"u\":\"caf\xC3\xA9\"}");

  // Invalid UTF-8 from outside becomes U+FFFD instead of failing the whole request.
  std::string text;
  EXPECT_NO_THROW(text = serialize(JSON{{"w",
                                         "ab\xFF"
                                         "c"}}));
  EXPECT_EQ(text,
            "{\"w\":\"ab\xEF\xBF\xBD"
            "c\"}");
}

}  // namespace
}  // namespace zelvora
