#ifndef TESTS_SUPPORT_CODEC_TEST_SUPPORT_H_
#define TESTS_SUPPORT_CODEC_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter {

// Failure messages show values by their encoding.
inline void PrintTo(const EncodableValue& value, std::ostream* out) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  SharedSerializer().WriteValue(value, &writer);
  *out << "value encoded as";
  for (uint8_t byte : bytes)
    *out << ' ' << "0123456789ABCDEF"[byte >> 4] << "0123456789ABCDEF"[byte & 15];
}

}  // namespace flutter

namespace flutter::testing {

using Bytes = std::vector<uint8_t>;

// Parses "03 2C 01 00 00" into bytes.
inline Bytes Hex(const std::string& text) {
  Bytes bytes;
  std::string digits;
  for (char c : text) {
    if (c == ' ') continue;
    digits.push_back(c);
    if (digits.size() == 2) {
      bytes.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return bytes;
}

inline Bytes Encode(const EncodableValue& value, Bytes prefix = {}) {
  Bytes bytes = std::move(prefix);
  bytes.reserve(bytes.size() + MaxEncodedSize(value));
  ByteBufferStreamWriter writer(&bytes);
  SharedSerializer().WriteValue(value, &writer);
  return bytes;
}

inline EncodableValue Decode(const Bytes& bytes) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return SharedSerializer().ReadTaggedValue(&reader);
}

// Runs |action| and returns what it wrote to the standard error stream.
template <typename Action>
std::string CaptureStderr(Action&& action) {
  ::testing::internal::CaptureStderr();
  std::forward<Action>(action)();
  return ::testing::internal::GetCapturedStderr();
}

inline const std::string kReadPastEnd = "Invalid read in StandardCodecByteStreamReader\n";

}  // namespace flutter::testing

#endif  // TESTS_SUPPORT_CODEC_TEST_SUPPORT_H_
