#include "bridge/method_arguments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/codec_test_support.h"

// The rules that no method built so far exercises over the channels, and the conversion corners.
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::testing::Decode;
using flutter::testing::Hex;

HWND Handle(int64_t value) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(value));  // NOLINT(performance-no-int-to-ptr)
}

TEST(MethodArgumentsTest, OnlyAStringKeyMatchesAName) {
  const EncodableValue arguments(EncodableMap{
      {std::vector<uint8_t>{'a', 'l', 'l', 'o', 'w', 'e', 'd'}, true}, {7, true}, {"7", false}});
  EXPECT_EQ(MethodArguments(&arguments).GetBool("allowed"), std::nullopt);
  EXPECT_EQ(MethodArguments(&arguments).GetBool("7"), false);
}

TEST(MethodArgumentsTest, WindowHandlesSignExtendInt32) {
  // {"hwnd": int32 -2} as it arrives on the wire.
  const EncodableValue negative = Decode(Hex("0D 01 07 04 68 77 6E 64 03 FE FF FF FF"));
  EXPECT_EQ(MethodArguments(&negative).GetWindowHandle("hwnd"), Handle(-2));

  const EncodableValue arguments(EncodableMap{{"int64", int64_t{0x7FFF00001234}},
                                              {"int32", int32_t{0x7FFFFFFF}},
                                              {"double", 66.0},
                                              {"text", "66"}});
  const MethodArguments reader(&arguments);
  EXPECT_EQ(reader.GetWindowHandle("int64"), Handle(0x7FFF00001234));
  EXPECT_EQ(reader.GetWindowHandle("int32"), Handle(0x7FFFFFFF));
  EXPECT_EQ(reader.GetWindowHandle("double"), nullptr);
  EXPECT_EQ(reader.GetWindowHandle("text"), nullptr);
  EXPECT_EQ(reader.GetWindowHandle("missing"), nullptr);
}

TEST(MethodArgumentsTest, NumbersAcceptDoublesAndBothIntegerWidths) {
  const EncodableValue arguments(EncodableMap{{"double", 380.5},
                                              {"int32", -88},
                                              {"int64", int64_t{1} << 40},
                                              {"bool", true},
                                              {"text", "88"}});
  const MethodArguments reader(&arguments);
  EXPECT_EQ(reader.GetNumber("double", 1), 380.5);
  EXPECT_EQ(reader.GetNumber("int32", 1), -88.0);
  EXPECT_EQ(reader.GetNumber("int64", 1), 1099511627776.0);
  EXPECT_EQ(reader.GetNumber("bool", 7), 7.0);
  EXPECT_EQ(reader.GetNumber("text", 7), 7.0);
  EXPECT_EQ(reader.GetNumber("missing", 7), 7.0);
}

TEST(MethodArgumentsTest, MalformedUtf8IsReplacedAndZeroBytesAreKept) {
  const EncodableValue arguments(EncodableMap{{"malformed",
                                               "a\xFF"
                                               "b\xC3"},
                                              {"zero", std::string("a\0b", 3)},
                                              {"empty", ""}});
  const MethodArguments reader(&arguments);
  EXPECT_EQ(reader.GetWideString("malformed"), L"a\uFFFDb\uFFFD");
  EXPECT_EQ(reader.GetWideString("zero"), std::wstring(L"a\0b", 3));
  EXPECT_EQ(reader.GetWideString("empty"), L"");
}

}  // namespace
