#ifndef MESSAGING_BYTE_STREAMS_H_
#define MESSAGING_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <limits>

namespace flutter {

// Source of the bytes of one message being decoded.
class ByteStreamReader {
 public:
  virtual ~ByteStreamReader() = default;

  virtual uint8_t ReadByte() = 0;
  virtual void ReadBytes(uint8_t* destination, size_t length) = 0;
  // Advances to the next multiple of |alignment|, counted from the start of the message.
  virtual void SkipPadding(uint8_t alignment) = 0;

  // The length of the whole message, or the largest size when the reader cannot tell. A size
  // declared inside the message that exceeds it cannot be honest, and is not allocated.
  virtual size_t MessageLength() const { return std::numeric_limits<size_t>::max(); }
};

// Sink for the bytes of one message being encoded.
class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;

  virtual void WriteByte(uint8_t value) = 0;
  virtual void WriteBytes(const uint8_t* source, size_t length) = 0;
  // Pads with zero bytes up to the next multiple of |alignment| of the message length.
  virtual void WritePadding(uint8_t alignment) = 0;
};

// Writes the line every reader writes when a read would pass the end of its message.
void ReportReadPastEnd();

// How many single-byte reads on this thread found nothing left of their message. Nothing more
// can be read after such a read, so a decoder that sees the count change stops reading the
// elements its message still declares: each would fail with its own line, and a few bytes of
// nested counts would otherwise cost millions of reads.
uint64_t ReadsAtEndOfMessage();

}  // namespace flutter

#endif  // MESSAGING_BYTE_STREAMS_H_
