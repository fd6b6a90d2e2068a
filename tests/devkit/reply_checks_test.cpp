#include "devkit/apps/bench/reply_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "messaging/standard_method_codec.h"

namespace devkit {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

Bytes Success(const EncodableValue& value) {
  return *flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeSuccessReply(&value);
}

Bytes Error() {
  return *flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeErrorReply("E", "m", nullptr);
}

EncodableValue Record(const std::string& exe) {
  return EncodableValue(EncodableMap{
      {"exe", exe}, {"name", "Bench"}, {"path", "C:\\Bench Apps\\" + exe}, {"icon", "C:\\x.lnk"}});
}

// The start of a PNG file |width| by |height| pixels: signature, header chunk, and a few bytes
// of what follows.
std::vector<uint8_t> PngStart(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                              0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  for (const uint32_t edge : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(edge >> shift));
  }
  png.insert(png.end(), {8, 6, 0, 0, 0});
  return png;
}

TEST(ReplyChecks, IdleSecondsAreASuccessOfAWholeNumberNotBelowZero) {
  EXPECT_TRUE(IsIdleSecondsReply(Success(EncodableValue(0))));
  EXPECT_TRUE(IsIdleSecondsReply(Success(EncodableValue(int64_t{5000000000}))));
  EXPECT_FALSE(IsIdleSecondsReply(Success(EncodableValue(-1))));
  EXPECT_FALSE(IsIdleSecondsReply(Success(EncodableValue(1.0))));
  EXPECT_FALSE(IsIdleSecondsReply(Error()));
  EXPECT_FALSE(IsIdleSecondsReply({}));
}

TEST(ReplyChecks, CatalogueHoldsEveryExpectedExecutable) {
  const Bytes reply =
      Success(EncodableValue(EncodableList{Record("a.exe"), Record("b.exe"), Record("c.exe")}));
  EXPECT_TRUE(IsCatalogueReply(reply, {"c.exe", "a.exe"}));
  EXPECT_TRUE(IsCatalogueReply(reply, {}));
  EXPECT_FALSE(IsCatalogueReply(reply, {"a.exe", "d.exe"}));
}

TEST(ReplyChecks, CatalogueOfAnyMalformedRecordIsRefused) {
  EncodableMap extra_entry = Record("a.exe").Get<EncodableMap>();
  extra_entry[EncodableValue("size")] = EncodableValue(3);
  EncodableMap number_for_name = Record("a.exe").Get<EncodableMap>();
  number_for_name[EncodableValue("name")] = EncodableValue(3);
  EncodableMap without_icon = Record("a.exe").Get<EncodableMap>();
  without_icon.erase(EncodableValue("icon"));
  for (const EncodableValue& bad : {EncodableValue(extra_entry), EncodableValue(number_for_name),
                                    EncodableValue(without_icon), EncodableValue("a.exe")}) {
    EXPECT_FALSE(
        IsCatalogueReply(Success(EncodableValue(EncodableList{Record("b.exe"), bad})), {"b.exe"}));
  }
}

TEST(ReplyChecks, CatalogueIsASuccessOfAList) {
  EXPECT_FALSE(IsCatalogueReply(Success(EncodableValue(EncodableMap{})), {}));
  EXPECT_FALSE(IsCatalogueReply(Error(), {}));
  EXPECT_FALSE(IsCatalogueReply({}, {}));
}

TEST(ReplyChecks, IconsAreExactlyTheAskedKeysEachAPngOfTheSize) {
  const EncodableValue png(PngStart(96, 96));
  EXPECT_TRUE(IsIconsReply(Success(EncodableValue(EncodableMap{{0, png}, {1, png}})), 2, 96));
  EXPECT_FALSE(IsIconsReply(Success(EncodableValue(EncodableMap{{0, png}})), 2, 96));
  EXPECT_FALSE(IsIconsReply(Success(EncodableValue(EncodableMap{{0, png}, {2, png}})), 2, 96));
  EXPECT_FALSE(
      IsIconsReply(Success(EncodableValue(EncodableMap{{0, png}, {1, png}, {2, png}})), 2, 96));
  EXPECT_FALSE(IsIconsReply(Success(EncodableValue(EncodableMap{{0, png}, {"1", png}})), 2, 96));
  EXPECT_FALSE(IsIconsReply(Error(), 0, 96));
}

TEST(ReplyChecks, IconOfAnotherSizeOrNoPngIsRefused) {
  std::vector<uint8_t> not_png = PngStart(96, 96);
  not_png[1] = 'J';
  std::vector<uint8_t> cut = PngStart(96, 96);
  cut.resize(20);
  for (const EncodableValue& bad :
       {EncodableValue(PngStart(96, 48)), EncodableValue(PngStart(32, 96)), EncodableValue(not_png),
        EncodableValue(cut), EncodableValue("png")}) {
    EXPECT_FALSE(IsIconsReply(Success(EncodableValue(EncodableMap{{0, bad}})), 1, 96));
  }
}

}  // namespace
}  // namespace devkit
