#ifndef MESSAGING_STANDARD_CODEC_SERIALIZER_H_
#define MESSAGING_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"

namespace flutter {

// Writes and reads values in the engine's standard message encoding. Stateless, so one instance
// is shared by every channel. Nested values go through the virtual operations, so a derived
// serializer that knows further tags applies inside lists and maps too.
class StandardCodecSerializer {
 public:
  // Lists and maps nested deeper than this are refused: decoding recurses once per level.
  static constexpr int kMaxNestingDepth = 256;

  StandardCodecSerializer() = default;
  virtual ~StandardCodecSerializer() = default;
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  EncodableValue ReadTaggedValue(ByteStreamReader* stream) const;
  void WriteCount(size_t count, ByteStreamWriter* stream) const;
  size_t ReadCount(ByteStreamReader* stream) const;

 private:
  EncodableValue ReadList(ByteStreamReader* stream) const;
  EncodableValue ReadMap(ByteStreamReader* stream) const;
};

// An upper bound of the bytes WriteValue writes for |value|, padding counted at its largest. An
// encoder reserves it once: growing the buffer while large payloads are copied costs far more
// than the copying itself.
size_t MaxEncodedSize(const EncodableValue& value);

// The process-wide serializer, created on first use.
const StandardCodecSerializer& SharedSerializer();

}  // namespace flutter

#endif  // MESSAGING_STANDARD_CODEC_SERIALIZER_H_
