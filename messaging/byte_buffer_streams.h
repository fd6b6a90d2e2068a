#ifndef MESSAGING_BYTE_BUFFER_STREAMS_H_
#define MESSAGING_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "messaging/byte_streams.h"

namespace flutter {

// Reads a message held in borrowed memory. A read past the end reports its fault, yields zeros
// and leaves the position where it was, so a later, shorter read may still succeed.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* destination, size_t length) override;
  void SkipPadding(uint8_t alignment) override;
  size_t MessageLength() const override { return length_; }
  bool AtEnd() const { return position_ >= length_; }

 private:
  const uint8_t* bytes_;
  size_t length_;
  size_t position_ = 0;
};

// Appends a message to the caller's vector.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

  void WriteByte(uint8_t value) override;
  void WriteBytes(const uint8_t* source, size_t length) override;
  void WritePadding(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // MESSAGING_BYTE_BUFFER_STREAMS_H_
