#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"
#include "tests/support/codec_test_support.h"

namespace flutter::testing {
namespace {

Bytes EncodeCount(size_t count) {
  Bytes bytes;
  ByteBufferStreamWriter writer(&bytes);
  SharedSerializer().WriteCount(count, &writer);
  return bytes;
}

size_t DecodeCount(const Bytes& bytes) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return SharedSerializer().ReadCount(&reader);
}

TEST(StandardCodecWorkedExamples, Scalars) {
  EXPECT_EQ(Encode(EncodableValue(300)), Hex("03 2C 01 00 00"));
  EXPECT_EQ(Encode(EncodableValue(false)), Hex("02"));
  EXPECT_EQ(Encode(EncodableValue(true)), Hex("01"));
  EXPECT_EQ(Encode(EncodableValue()), Hex("00"));
  EXPECT_EQ(Encode(EncodableValue(int64_t{-2})), Hex("04 FE FF FF FF FF FF FF FF"));
  EXPECT_EQ(Decode(Hex("03 2C 01 00 00")), EncodableValue(300));
}

TEST(StandardCodecWorkedExamples, StringAndMap) {
  EXPECT_EQ(Encode(EncodableValue("enabled")), Hex("07 07 65 6E 61 62 6C 65 64"));
  const EncodableValue map = EncodableMap{{"enabled", false}};
  EXPECT_EQ(Encode(map), Hex("0D 01 07 07 65 6E 61 62 6C 65 64 02"));
  EXPECT_EQ(Decode(Hex("0D 01 07 07 65 6E 61 62 6C 65 64 02")), map);
}

TEST(StandardCodecWorkedExamples, MapEntriesAreWrittenInKeyOrder) {
  EncodableMap map;
  map["width"] = 380;
  map["enabled"] = true;
  EXPECT_EQ(Encode(EncodableValue(map)),
            Hex("0D 02 07 07 65 6E 61 62 6C 65 64 01 07 05 77 69 64 74 68 03 7C 01 00 00"));
}

TEST(StandardCodecWorkedExamples, LongStringAndByteListSizePrefixes) {
  const Bytes string_bytes = Encode(EncodableValue(std::string(300, 'x')));
  ASSERT_EQ(string_bytes.size(), 4u + 300u);
  EXPECT_EQ(Bytes(string_bytes.begin(), string_bytes.begin() + 4), Hex("07 FE 2C 01"));

  const Bytes list_bytes = Encode(EncodableValue(std::vector<uint8_t>(70000, 0xAB)));
  ASSERT_EQ(list_bytes.size(), 6u + 70000u);
  EXPECT_EQ(Bytes(list_bytes.begin(), list_bytes.begin() + 6), Hex("08 FF 70 11 01 00"));
  EXPECT_EQ(list_bytes.back(), 0xAB);
}

TEST(StandardCodecAlignment, DoublePaddingCountsFromMessageStart) {
  EXPECT_EQ(Encode(EncodableValue(1.5), Hex("00")),
            Hex("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F8 3F"));
  EXPECT_EQ(Encode(EncodableValue(1.5)), Hex("06 00 00 00 00 00 00 00 00 00 00 00 00 00 F8 3F"));

  const Bytes message = Hex("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F8 3F");
  ByteBufferStreamReader reader(message.data(), message.size());
  reader.ReadByte();
  EXPECT_EQ(SharedSerializer().ReadTaggedValue(&reader), EncodableValue(1.5));
}

TEST(StandardCodecAlignment, TypedListsPadToTheirElementSize) {
  EXPECT_EQ(Encode(EncodableValue(std::vector<int32_t>{1, -1})),
            Hex("09 02 00 00 01 00 00 00 FF FF FF FF"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<float>{1.0f})), Hex("0E 01 00 00 00 00 80 3F"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<int64_t>{1})),
            Hex("0A 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<uint8_t>{1, 2}), Hex("00")), Hex("00 08 02 01 02"));

  const std::vector<EncodableValue> lists = {
      std::vector<int32_t>{7, -7, 2147483647}, std::vector<int64_t>{-1, 1LL << 40},
      std::vector<double>{0.5, -2.25}, std::vector<float>{3.5f, -0.25f},
      std::vector<uint8_t>{0, 255}};
  for (const EncodableValue& list : lists) {
    for (size_t offset = 0; offset < 8; ++offset) {
      const Bytes bytes = Encode(list, Bytes(offset, 0));
      ByteBufferStreamReader reader(bytes.data(), bytes.size());
      for (size_t i = 0; i < offset; ++i) reader.ReadByte();
      EXPECT_EQ(SharedSerializer().ReadTaggedValue(&reader), list) << "offset " << offset;
    }
  }
}

TEST(StandardCodecAlignment, EmptyTypedListWritesNoPaddingButReadsSkipIt) {
  const Bytes written = Encode(EncodableValue(std::vector<int32_t>{}), Hex("00"));
  EXPECT_EQ(written, Hex("00 09 00"));

  const Bytes message = Hex("00 09 00 AA 03 05 00 00 00");
  ByteBufferStreamReader reader(message.data(), message.size());
  reader.ReadByte();
  EXPECT_EQ(SharedSerializer().ReadTaggedValue(&reader), EncodableValue(std::vector<int32_t>{}));
  // The reader skipped the byte at offset 3 and stands at offset 4.
  EXPECT_EQ(SharedSerializer().ReadTaggedValue(&reader), EncodableValue(5));
}

TEST(StandardCodecCounts, ThresholdsAt254And65536) {
  EXPECT_EQ(EncodeCount(253), Hex("FD"));
  EXPECT_EQ(EncodeCount(254), Hex("FE FE 00"));
  EXPECT_EQ(EncodeCount(65535), Hex("FE FF FF"));
  EXPECT_EQ(EncodeCount(65536), Hex("FF 00 00 01 00"));
  for (size_t count : {0u, 253u, 254u, 65535u, 65536u, 1u << 31}) {
    EXPECT_EQ(DecodeCount(EncodeCount(count)), count);
  }
}

TEST(StandardCodecCounts, LongerFormsAreAcceptedForSmallCounts) {
  EXPECT_EQ(DecodeCount(Hex("FE 05 00")), 5u);
  EXPECT_EQ(DecodeCount(Hex("FF 05 00 00 00")), 5u);
}

TEST(StandardCodecTags, LargeIntegerTagReadsAsString) {
  EXPECT_EQ(Decode(Hex("05 02 31 30")), EncodableValue("10"));
}

TEST(StandardCodecTags, UnknownTagGivesNullAndReadingResumesAfterIt) {
  std::string diagnostics;
  EncodableValue list;
  diagnostics = CaptureStderr([&] { list = Decode(Hex("0C 02 0F 03 09 00 00 00")); });
  EXPECT_EQ(diagnostics, "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n");
  EXPECT_EQ(list, EncodableValue(EncodableList{EncodableValue(), 9}));

  EncodableValue single;
  diagnostics = CaptureStderr([&] { single = Decode(Hex("FF")); });
  EXPECT_TRUE(single.IsNull());
  EXPECT_EQ(diagnostics, "Unknown type in StandardCodecSerializer::ReadValueOfType: 255\n");
}

TEST(StandardCodecMaps, DuplicateKeyKeepsTheFirstValue) {
  const EncodableValue map = Decode(Hex("0D 02 07 01 6B 03 01 00 00 00 07 01 6B 03 02 00 00 00"));
  EXPECT_EQ(map, EncodableValue(EncodableMap{{"k", 1}}));
}

TEST(StandardCodecReadPastEnd, EmptyMessageGivesNullWithOneLine) {
  EncodableValue value(1);
  const std::string diagnostics = CaptureStderr([&] { value = Decode({}); });
  EXPECT_TRUE(value.IsNull());
  EXPECT_EQ(diagnostics, kReadPastEnd);
}

TEST(StandardCodecReadPastEnd, ShortStringKeepsItsDeclaredLengthOfZeros) {
  EncodableValue value;
  const std::string diagnostics = CaptureStderr([&] { value = Decode(Hex("07 05 61 62 63")); });
  EXPECT_EQ(value, EncodableValue(std::string(5, '\0')));
  EXPECT_EQ(diagnostics, kReadPastEnd);
}

TEST(StandardCodecReadPastEnd, FailedReadLeavesPositionSoAShorterReadSucceeds) {
  EncodableValue value;
  const std::string diagnostics = CaptureStderr([&] { value = Decode(Hex("0C 02 03 01")); });
  // The int32 cannot be read, yields 0, and the byte after its tag is then read as "true".
  EXPECT_EQ(value, EncodableValue(EncodableList{0, true}));
  EXPECT_EQ(diagnostics, kReadPastEnd);
}

TEST(StandardCodecReadPastEnd, TruncatedDoubleAndCountsYieldZero) {
  EncodableValue value;
  std::string diagnostics =
      CaptureStderr([&] { value = Decode(Hex("06 00 00 00 00 00 00 00 01")); });
  EXPECT_EQ(value, EncodableValue(0.0));
  EXPECT_EQ(diagnostics, kReadPastEnd);

  diagnostics = CaptureStderr([&] { value = Decode(Hex("0C FE 01")); });
  EXPECT_EQ(value, EncodableValue(EncodableList{}));
  EXPECT_EQ(diagnostics, kReadPastEnd);
}

// Every kind of fault: cut short, a dishonest size, an unknown tag, and nesting too deep.
TEST(StandardCodecQuietReader, CountsEveryFaultWithoutWritingALine) {
  Bytes too_deep;
  for (int level = 0; level < 300; ++level) too_deep.insert(too_deep.end(), {0x0C, 0x01});
  too_deep.push_back(0x00);
  for (const Bytes& message : {Bytes{}, Hex("07 05 61 62 63"), Hex("07 FF FF FF FF FF 61"),
                               Hex("0C 02 0F 01"), too_deep}) {
    ByteBufferStreamReader reader(message.data(), message.size());
    reader.set_quiet(true);
    const std::string diagnostics =
        CaptureStderr([&] { SharedSerializer().ReadTaggedValue(&reader); });
    EXPECT_TRUE(reader.failed()) << message.size() << " bytes";
    EXPECT_EQ(diagnostics, "") << message.size() << " bytes";
  }

  // A quiet reader of a whole message reads what a loud one reads.
  const Bytes whole = Hex("07 02 68 69");
  ByteBufferStreamReader reader(whole.data(), whole.size());
  reader.set_quiet(true);
  EXPECT_EQ(SharedSerializer().ReadTaggedValue(&reader), EncodableValue("hi"));
  EXPECT_FALSE(reader.failed());
}

TEST(StandardCodecCustomValue, WrittenAsNullWithItsLineAndListKeepsCount) {
  const EncodableValue list =
      EncodableList{EncodableValue(CustomEncodableValue(42)), EncodableValue(1)};
  Bytes bytes;
  const std::string diagnostics = CaptureStderr([&] { bytes = Encode(list); });
  EXPECT_EQ(bytes, Hex("0C 02 00 03 01 00 00 00"));
  EXPECT_EQ(diagnostics,
            "Unhandled custom type in StandardCodecSerializer::WriteValue. Custom types require "
            "codec extensions.\n");
}

// The shared instance is what the channels encode with when given no serializer of their own, so
// it must be the plain standard encoding, with no extension of its own.
TEST(StandardCodecSerializerInstance, SharedSerializerWritesTheStandardEncoding) {
  const StandardCodecSerializer plain;
  const EncodableValue value(EncodableMap{{"exe", "code.exe"}, {"pid", int64_t{4321}}});
  Bytes from_plain;
  ByteBufferStreamWriter writer(&from_plain);
  plain.WriteValue(value, &writer);
  EXPECT_EQ(Encode(value), from_plain);
  Bytes envelope = Hex("00");
  envelope.insert(envelope.end(), from_plain.begin(), from_plain.end());
  EXPECT_EQ(*StandardMethodCodec::ForSerializer(nullptr).EncodeSuccessReply(&value), envelope);
}

}  // namespace
}  // namespace flutter::testing
