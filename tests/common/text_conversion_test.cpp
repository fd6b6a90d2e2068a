#include "common/text_conversion.h"

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

TEST(Utf8ToWideTest, MalformedInputIsReplacedNotRefused) {
  EXPECT_EQ(Utf8ToWide("caf\xC3\xA9 \xF0\x9F\x98\x80"), L"caf\u00E9 \xD83D\xDE00");
  // A stray continuation byte and a sequence cut short.
  EXPECT_EQ(Utf8ToWide("a\x80"
                       "b\xE2\x82"),
            L"a\uFFFDb\uFFFD");
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(Utf8ToWide(""), L"");
}

}  // namespace
