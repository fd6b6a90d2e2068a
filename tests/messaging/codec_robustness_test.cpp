#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "tests/messaging/allocation_meter.h"
#include "tests/support/codec_test_support.h"

namespace flutter::testing {
namespace {

const std::string kTooDeep =
    "Nesting too deep in StandardCodecSerializer::ReadValueOfType: more than 256 levels of lists "
    "and maps\n";

// Builds random values of every alternative but the custom one, with containers nested a few
// levels, strings with zero and high bytes, and sizes around the count thresholds.
class ValueGenerator {
 public:
  explicit ValueGenerator(uint32_t seed) : random_(seed) {}

  EncodableValue Next(int depth = 0) {
    const int kinds = depth < 4 ? 14 : 10;
    switch (Uniform(0, kinds - 1)) {
      case 0:
        return EncodableValue();
      case 1:
        return EncodableValue(Uniform(0, 1) == 1);
      case 2:
        return EncodableValue(static_cast<int32_t>(random_()));
      case 3:
        return EncodableValue(static_cast<int64_t>((uint64_t{random_()} << 32) | random_()));
      case 4:
        return EncodableValue(Double());
      case 5:
        return EncodableValue(Sequence<std::string>([this] { return char(Uniform(0, 255)); }));
      case 6:
        return EncodableValue(
            Sequence<std::vector<uint8_t>>([this] { return uint8_t(Uniform(0, 255)); }));
      case 7:
        return EncodableValue(
            Sequence<std::vector<int32_t>>([this] { return static_cast<int32_t>(random_()); }));
      case 8:
        return EncodableValue(Sequence<std::vector<int64_t>>(
            [this] { return static_cast<int64_t>(random_()) << 20; }));
      case 9:
        return EncodableValue(Sequence<std::vector<double>>([this] { return Double(); }));
      case 10:
        return EncodableValue(Sequence<std::vector<float>>(
            [this] { return static_cast<float>(Uniform(-9, 9)) / 4; }));
      case 11: {
        EncodableList list;
        for (int i = Uniform(0, 6); i > 0; --i) list.push_back(Next(depth + 1));
        return EncodableValue(std::move(list));
      }
      default: {
        EncodableMap map;
        for (int i = Uniform(0, 6); i > 0; --i) map[Next(depth + 1)] = Next(depth + 1);
        return EncodableValue(std::move(map));
      }
    }
  }

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  // Any bit pattern but NaN, so that equality after a round trip is meaningful.
  double Double() {
    for (;;) {
      const uint64_t bits = (uint64_t{random_()} << 32) | random_();
      double value;
      std::memcpy(&value, &bits, sizeof value);
      if (value == value) return value;
    }
  }

  // Lists of 4- and 8-byte elements are never empty: the reader skips their padding even when
  // the writer wrote none, so an empty one reads back only at an aligned position.
  template <typename S, typename Element>
  S Sequence(Element element) {
    static constexpr int kLengths[] = {0, 1, 2, 3, 7, 253, 254, 300};
    constexpr bool kMayBeEmpty = sizeof(typename S::value_type) == 1;
    S sequence;
    for (int i = kLengths[Uniform(kMayBeEmpty ? 0 : 1, 7)]; i > 0; --i) {
      sequence.push_back(element());
    }
    return sequence;
  }

  std::mt19937 random_;
};

Bytes Nested(int levels, const Bytes& innermost) {
  Bytes bytes;
  for (int i = 0; i < levels; ++i) bytes.insert(bytes.end(), {0x0C, 0x01});
  bytes.insert(bytes.end(), innermost.begin(), innermost.end());
  return bytes;
}

TEST(StandardCodecRoundTrip, GeneratedValuesOfEveryAlternativeSurvive) {
  ValueGenerator generator(20261207);
  for (int i = 0; i < 3000; ++i) {
    const EncodableValue value = generator.Next();
    const Bytes prefix(generator.Uniform(0, 7), 0);
    const Bytes bytes = Encode(value, prefix);
    ASSERT_LE(bytes.size() - prefix.size(), MaxEncodedSize(value)) << "value " << i;
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    for (size_t skip = 0; skip < prefix.size(); ++skip) reader.ReadByte();
    ASSERT_EQ(SharedSerializer().ReadTaggedValue(&reader), value) << "value " << i;
  }
}

TEST(StandardCodecDishonestSizes, SizeBeyondTheWholeMessageIsNotAllocated) {
  struct Case {
    const char* hex;
    EncodableValue empty;
  };
  const Case cases[] = {
      {"07 FF FF FF FF 7F 61", EncodableValue(std::string())},
      {"05 FF 00 00 00 40", EncodableValue(std::string())},
      {"08 FE FF FF 00", EncodableValue(std::vector<uint8_t>())},
      {"09 FF 00 00 00 10", EncodableValue(std::vector<int32_t>())},
      {"0E FF 00 00 00 10", EncodableValue(std::vector<float>())},
      {"0A FF FF FF FF FF", EncodableValue(std::vector<int64_t>())},
      {"0B FE 00 01", EncodableValue(std::vector<double>())},
      {"0C FF FF FF FF FF 00", EncodableValue(EncodableList())},
      {"0D FE 00 10 00", EncodableValue(EncodableMap())},
  };
  for (const Case& c : cases) {
    const Bytes bytes = Hex(c.hex);
    EncodableValue value;
    AllocationMeter meter;
    const std::string diagnostics = CaptureStderr([&] { value = Decode(bytes); });
    EXPECT_EQ(value, c.empty) << c.hex;
    EXPECT_EQ(diagnostics, kReadPastEnd) << c.hex;
    EXPECT_LT(meter.AllocatedBytes(), 4096u) << c.hex;
  }
}

// A typed list is refused as soon as its elements could not fit in the whole message, even when
// the count alone would: the same dishonest size always gives the same empty list.
TEST(StandardCodecDishonestSizes, TypedListWhoseBytesExceedTheMessageIsEmpty) {
  struct Case {
    const char* hex;
    EncodableValue empty;
  };
  const Case cases[] = {
      {"09 04 00 00 01 00 00 00", EncodableValue(std::vector<int32_t>())},
      {"0E 03 00 00 00 00 80 3F", EncodableValue(std::vector<float>())},
      {"0A 03 00 00 00 00 00 00 01 00 00 00 00 00 00 00", EncodableValue(std::vector<int64_t>())},
      {"0B 04 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F 00 00 00 00 00 00 F0 3F",
       EncodableValue(std::vector<double>())},
  };
  for (const Case& c : cases) {
    EncodableValue value;
    const std::string diagnostics = CaptureStderr([&] { value = Decode(Hex(c.hex)); });
    EXPECT_EQ(value, c.empty) << c.hex;
    EXPECT_EQ(diagnostics, kReadPastEnd) << c.hex;
  }

  // The refused list's padding is still skipped, so a value after it is read where it stands.
  EncodableValue list;
  const std::string list_diagnostics =
      CaptureStderr([&] { list = Decode(Hex("0C 03 01 09 09 00 00 00 01 02")); });
  EXPECT_EQ(list, EncodableValue(EncodableList{true, std::vector<int32_t>(), true}));
  EXPECT_EQ(list_diagnostics, kReadPastEnd);

  // Bytes that fit the message but not what is left of it: zeros, with the line.
  EncodableValue value;
  const std::string diagnostics =
      CaptureStderr([&] { value = Decode(Hex("09 02 00 00 01 00 00 00")); });
  EXPECT_EQ(value, EncodableValue(std::vector<int32_t>{0, 0}));
  EXPECT_EQ(diagnostics, kReadPastEnd);
  EXPECT_EQ(Decode(Hex("09 01 00 00 05 00 00 00")), EncodableValue(std::vector<int32_t>{5}));
}

TEST(StandardCodecDishonestSizes, MessageThatRunsOutEndsItsListsAndMapsWithOneLine) {
  // Four elements declared in a four-byte message: two are read, the third finds nothing left
  // and the fourth is not read at all.
  EncodableValue value;
  std::string diagnostics = CaptureStderr([&] { value = Decode(Hex("0C 04 01 00")); });
  EXPECT_EQ(value, EncodableValue(EncodableList{true, EncodableValue(), EncodableValue()}));
  EXPECT_EQ(diagnostics, kReadPastEnd);

  // A map that runs out in a key keeps the entries before it; the value is not read.
  diagnostics = CaptureStderr([&] { value = Decode(Hex("0D 03 03 01 00 00 00 01")); });
  EXPECT_EQ(value, EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue(true)}}));
  EXPECT_EQ(diagnostics, kReadPastEnd);

  // Two hundred lists of a thousand elements each, nested, where only the innermost gets its
  // elements: every list around it ends too, instead of reading its other 999 elements past the
  // end one line at a time (about 200,000 lines and reads from 1,800 bytes).
  Bytes nested;
  for (int i = 0; i < 200; ++i) nested.insert(nested.end(), {0x0C, 0xFE, 0xE8, 0x03});
  nested.insert(nested.end(), 1000, 0x00);
  diagnostics = CaptureStderr([&] { value = Decode(nested); });
  EXPECT_EQ(diagnostics, kReadPastEnd);
  // The list around the innermost one read its second element past the end, as null.
  EncodableValue expected(EncodableList(1000, EncodableValue()));
  expected = EncodableValue(EncodableList{expected, EncodableValue()});
  for (int i = 0; i < 198; ++i) expected = EncodableValue(EncodableList{expected});
  EXPECT_EQ(value, expected);
}

TEST(StandardCodecNesting, TwoHundredFiftySixLevelsAreRead) {
  EncodableValue expected = EncodableValue(7);
  for (int i = 0; i < 256; ++i) expected = EncodableValue(EncodableList{expected});
  EncodableValue value;
  const std::string diagnostics =
      CaptureStderr([&] { value = Decode(Nested(256, Hex("03 07 00 00 00"))); });
  EXPECT_EQ(diagnostics, "");
  EXPECT_EQ(value, expected);
}

TEST(StandardCodecNesting, DeeperNestingYieldsNullWithOneLine) {
  // One more list sits inside the given levels.
  for (int levels : {256, 299, 100000}) {
    EncodableValue value(1);
    const std::string diagnostics =
        CaptureStderr([&] { value = Decode(Nested(levels, Hex("0C 01 00"))); });
    EXPECT_TRUE(value.IsNull()) << levels;
    EXPECT_EQ(diagnostics, kTooDeep) << levels;
  }
  // A refused key ends the map at once: its value, here an unknown tag, is not read.
  Bytes deep_key;
  for (int i = 0; i < 300; ++i) deep_key.insert(deep_key.end(), {0x0D, 0x01});
  deep_key.insert(deep_key.end(), {0x00, 0x0F});
  std::string refused = CaptureStderr([&] { EXPECT_TRUE(Decode(deep_key).IsNull()); });
  EXPECT_EQ(refused, kTooDeep);

  // Maps count as levels too, and the refusal does not outlive the refused value.
  Bytes maps;
  for (int i = 0; i < 300; ++i) maps.insert(maps.end(), {0x0D, 0x01, 0x00});
  std::string diagnostics = CaptureStderr([&] { EXPECT_TRUE(Decode(maps).IsNull()); });
  EXPECT_EQ(diagnostics, kTooDeep);
  diagnostics = CaptureStderr(
      [&] { EXPECT_EQ(Decode(Hex("0C 01 01")), EncodableValue(EncodableList{true})); });
  EXPECT_EQ(diagnostics, "");
}

// Decoding bytes from anywhere: random messages, and every truncation and one-byte corruption
// of valid ones. Nothing may crash or read out of bounds (the sanitizers watch), and the memory
// taken stays a small multiple of the message.
TEST(StandardCodecArbitraryInput, DecodingStaysBoundedOnAnyBytes) {
  ValueGenerator generator(7);
  std::vector<Bytes> messages;
  for (int i = 0; i < 400; ++i) {
    Bytes random_bytes(generator.Uniform(0, 48));
    for (uint8_t& byte : random_bytes) byte = static_cast<uint8_t>(generator.Uniform(0, 255));
    messages.push_back(random_bytes);

    const Bytes valid = Encode(generator.Next());
    messages.emplace_back(valid.begin(), valid.begin() + generator.Uniform(0, int(valid.size())));
    Bytes corrupted = valid;
    corrupted[generator.Uniform(0, int(valid.size()) - 1)] ^=
        static_cast<uint8_t>(generator.Uniform(1, 255));
    messages.push_back(corrupted);
  }

  size_t worst_ratio_case = 0;
  double worst_ratio = 0;
  CaptureStderr([&] {
    for (size_t i = 0; i < messages.size(); ++i) {
      AllocationMeter meter;
      Decode(messages[i]);
      const double ratio = double(meter.AllocatedBytes()) / double(messages[i].size() + 64);
      if (ratio > worst_ratio) {
        worst_ratio = ratio;
        worst_ratio_case = i;
      }
    }
  });
  EXPECT_LT(worst_ratio, 64.0) << "message " << worst_ratio_case << " of "
                               << messages[worst_ratio_case].size() << " bytes";
}

}  // namespace
}  // namespace flutter::testing
