#include "runner/string_conversion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WideToUtf8Test, ConvertsValidTextOfEveryPlane) {
  EXPECT_EQ(WideToUtf8(L"Keelo"), "Keelo");
  // U+00FC, U+20AC and U+1F600 as a surrogate pair.
  EXPECT_EQ(WideToUtf8(L"\u00fc\u20ac\xd83d\xde00"), "\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80");
}

TEST(WideToUtf8Test, UnpairedSurrogateGivesEmptyTextNotAReplacement) {
  EXPECT_EQ(WideToUtf8(L"ab\xd800"
                       L"cd"),
            "");
  EXPECT_EQ(WideToUtf8(std::wstring(L"\xdc00")), "");
}

TEST(WideToUtf8Test, NullAndEmptyGiveEmptyText) {
  EXPECT_EQ(WideToUtf8(static_cast<const wchar_t*>(nullptr)), "");
  EXPECT_EQ(WideToUtf8(std::wstring()), "");
}

TEST(WideToUtf8Test, TextEndsAtItsFirstNulAndAfter32767Units) {
  EXPECT_EQ(WideToUtf8(std::wstring(L"ab\0cd", 5)), "ab");
  std::wstring longest(40000, L'x');
  EXPECT_EQ(WideToUtf8(longest), std::string(32767, 'x'));
}

}  // namespace
