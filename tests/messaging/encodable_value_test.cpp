#include "messaging/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/codec_test_support.h"

namespace flutter {
namespace {

std::vector<EncodableValue> KeysInOrder(const EncodableMap& map) {
  std::vector<EncodableValue> keys;
  for (const auto& entry : map) keys.push_back(entry.first);
  return keys;
}

bool Equivalent(const EncodableValue& a, const EncodableValue& b) { return !(a < b) && !(b < a); }

TEST(EncodableValueConstruction, TextMakesStringNeverBool) {
  EncodableValue from_literal("enabled");
  ASSERT_TRUE(from_literal.Holds<std::string>());
  EXPECT_EQ(from_literal.Get<std::string>(), "enabled");

  EncodableValue assigned;
  assigned = "x";
  EXPECT_TRUE(assigned.Holds<std::string>());

  EXPECT_TRUE(EncodableValue().IsNull());
  EXPECT_TRUE(EncodableValue(int32_t{7}).Holds<int32_t>());
  EXPECT_TRUE(EncodableValue(int64_t{7}).Holds<int64_t>());
}

TEST(EncodableValueConstruction, TypedAccessThatMayFailGivesNullForOtherAlternatives) {
  EncodableValue list = EncodableList{EncodableValue(1)};
  EXPECT_EQ(list.GetIf<EncodableMap>(), nullptr);
  ASSERT_NE(list.GetIf<EncodableList>(), nullptr);
  EXPECT_EQ(list.GetIf<EncodableList>()->size(), 1u);
}

TEST(EncodableValueSemantics, CopyIsDeepAndMoveLeavesSourceValid) {
  EncodableValue original = EncodableMap{{"inner", EncodableList{EncodableValue("a")}}};
  EncodableValue copy = original;
  copy.Get<EncodableMap>()[EncodableValue("inner")].Get<EncodableList>().push_back("b");
  EXPECT_EQ(original.Get<EncodableMap>().at("inner").Get<EncodableList>().size(), 1u);
  EXPECT_EQ(copy.Get<EncodableMap>().at("inner").Get<EncodableList>().size(), 2u);

  EncodableValue moved = std::move(copy);
  EXPECT_EQ(moved.Get<EncodableMap>().size(), 1u);
  copy = EncodableValue(3);  // a moved-from value can be assigned and used again
  EXPECT_EQ(copy.Get<int32_t>(), 3);
}

TEST(EncodableValueOrdering, AlternativeIndexDecidesBeforeContents) {
  const std::vector<EncodableValue> ascending = {
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(int32_t{1000}),
      EncodableValue(int64_t{-5}),
      EncodableValue(-1e300),
      EncodableValue(""),
      EncodableValue(std::vector<uint8_t>{}),
      EncodableValue(std::vector<int32_t>{}),
      EncodableValue(std::vector<int64_t>{}),
      EncodableValue(std::vector<double>{}),
      EncodableValue(EncodableList{}),
      EncodableValue(EncodableMap{}),
      EncodableValue(CustomEncodableValue(1)),
      EncodableValue(std::vector<float>{}),
  };
  for (size_t i = 0; i < ascending.size(); ++i) {
    EXPECT_EQ(ascending[i].index(), i);
    for (size_t j = i + 1; j < ascending.size(); ++j) {
      EXPECT_TRUE(ascending[i] < ascending[j]) << i << " < " << j;
      EXPECT_FALSE(ascending[j] < ascending[i]) << j << " < " << i;
    }
  }
}

TEST(EncodableValueOrdering, MapIteratesInKeyOrderNotInsertionOrder) {
  EncodableMap map;
  map["width"] = 380;
  map["enabled"] = true;
  map["height"] = 200;
  EXPECT_EQ(KeysInOrder(map), (std::vector<EncodableValue>{"enabled", "height", "width"}));
}

TEST(EncodableValueOrdering, Int32AndInt64KeysAreDistinctAndInt32ComesFirst) {
  EncodableMap same_number{{EncodableValue(int64_t{7}), "wide"},
                           {EncodableValue(int32_t{7}), "narrow"}};
  ASSERT_EQ(same_number.size(), 2u);
  EXPECT_TRUE(same_number.begin()->first.Holds<int32_t>());

  EncodableMap mixed{{EncodableValue(int64_t{1}), 0}, {EncodableValue(int32_t{100}), 0}};
  EXPECT_EQ(KeysInOrder(mixed).front(), EncodableValue(int32_t{100}));
}

TEST(EncodableValueOrdering, StringsCompareAsUnsignedBytes) {
  EXPECT_TRUE(EncodableValue("a") < EncodableValue("ab"));
  EXPECT_FALSE(EncodableValue("ab") < EncodableValue("a"));
  EXPECT_TRUE(EncodableValue("B") < EncodableValue("a"));
  // A byte above 0x7F sorts after ASCII whatever the signedness of char.
  EXPECT_TRUE(EncodableValue("z") < EncodableValue("\xC3\xA9"));
  EXPECT_TRUE(EncodableValue(std::string("\0a", 2)) < EncodableValue(std::string("\0b", 2)));
}

TEST(EncodableValueOrdering, ListsAreLexicographic) {
  const EncodableValue one_two = EncodableList{1, 2};
  EXPECT_TRUE(one_two < EncodableValue(EncodableList{1, 2, 0}));
  EXPECT_TRUE(EncodableValue(EncodableList{1, 1, 9}) < one_two);
  EXPECT_TRUE(EncodableValue(std::vector<int32_t>{1, 2}) <
              EncodableValue(std::vector<int32_t>{1, 3}));
  EXPECT_TRUE(EncodableValue(std::vector<float>{1.0f}) <
              EncodableValue(std::vector<float>{1.0f, 0.0f}));
}

TEST(EncodableValueOrdering, MapsCompareEntryByEntry) {
  const EncodableValue a = EncodableMap{{"a", 1}};
  const EncodableValue a2 = EncodableMap{{"a", 2}};
  const EncodableValue b = EncodableMap{{"b", 0}};
  EXPECT_TRUE(a < a2);
  EXPECT_TRUE(a2 < b);
  EXPECT_TRUE(a < EncodableValue(EncodableMap{{"a", 1}, {"b", 0}}));
}

TEST(EncodableValueOrdering, NanIsNeitherLessNorGreaterAndCustomValuesAreNeverEquivalent) {
  const EncodableValue nan(std::numeric_limits<double>::quiet_NaN());
  EXPECT_FALSE(nan < EncodableValue(1.0));
  EXPECT_FALSE(EncodableValue(1.0) < nan);
  EXPECT_NE(nan, nan);

  const EncodableValue first(CustomEncodableValue(std::string("same")));
  const EncodableValue second(CustomEncodableValue(std::string("same")));
  EXPECT_FALSE(Equivalent(first, second));
  EXPECT_NE(first, second);
  EXPECT_EQ(first, first);
}

// Equal values nested as map keys and list elements, 64 levels deep: a comparison that asked
// "a < b" and then "b < a" at each level would take 2^64 steps here instead of 64. A message of a
// few hundred bytes carries such values.
TEST(EncodableValueOrdering, DeeplyNestedEqualValuesCompareInLinearTime) {
  EncodableValue keys;
  EncodableValue lists;
  for (int level = 0; level < 64; ++level) {
    keys = EncodableValue(EncodableMap{{keys, EncodableValue()}});
    lists = EncodableValue(EncodableList{lists, EncodableValue(level)});
  }
  const EncodableValue same_keys = keys;
  const EncodableValue same_lists = lists;
  EXPECT_FALSE(keys < same_keys);
  EXPECT_FALSE(same_keys < keys);
  EXPECT_FALSE(lists < same_lists);
  EXPECT_FALSE(same_lists < lists);

  // One difference at the bottom still decides.
  EncodableValue deeper_key(1);
  for (int level = 0; level < 64; ++level) {
    deeper_key = EncodableValue(EncodableMap{{deeper_key, EncodableValue()}});
  }
  EXPECT_TRUE(keys < deeper_key);
  EXPECT_FALSE(deeper_key < keys);

  EncodableMap map{{keys, 1}};
  map.emplace(same_keys, 2);
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(map.at(keys), EncodableValue(1));
}

TEST(EncodableValueMap, KeepExistingInsertAndSubscriptAssignment) {
  EncodableMap map;
  map.emplace("key", 1);
  map.emplace("key", 2);
  EXPECT_EQ(map.at("key"), EncodableValue(1));
  map["key"] = 2;
  EXPECT_EQ(map.at("key"), EncodableValue(2));

  map["fresh"];
  EXPECT_TRUE(map.at("fresh").IsNull());
}

TEST(EncodableValueMap, NameLookupOnlyMatchesStringKeys) {
  const std::string name = "hwnd";
  EncodableMap map{{EncodableValue(std::vector<uint8_t>(name.begin(), name.end())), 1},
                   {EncodableValue(int32_t{0}), 2}};
  EXPECT_EQ(map.find(EncodableValue(name)), map.end());
  map[EncodableValue(name)] = 3;
  EXPECT_EQ(map.size(), 3u);
}

}  // namespace
}  // namespace flutter
