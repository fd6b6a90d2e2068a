#ifndef MESSAGING_BYTE_STREAMS_H_
#define MESSAGING_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

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

  // Reports a fault of the message as one line on stderr, the first fault only: what is read
  // after one comes from the wrong place, and a peer sending garbage must not be able to fill
  // the log with a line per byte.
  void ReportFault(std::string_view first, std::string_view second = {});
  void ReportReadPastEnd();
  // Whether a fault was reported: what was read is then not what was sent.
  bool failed() const { return failed_; }
  // For a reader that only looks into a message that another reads for real (a trace of the
  // traffic): its faults still count for failed() but write no line, since the receiver of the
  // message reports them itself.
  void set_quiet(bool quiet) { quiet_ = quiet; }

  // For a single-byte read that found nothing left of the message: reports the read past the
  // end, and nothing more can be read after it.
  void ReportEndOfMessage();
  // Whether a single-byte read found the message used up. A decoder then stops reading the
  // elements its message still declares: each read would fail too, and a few bytes of nested
  // counts would otherwise cost millions of reads.
  bool exhausted() const { return exhausted_; }

 private:
  bool failed_ = false;
  bool exhausted_ = false;
  bool quiet_ = false;
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

}  // namespace flutter

#endif  // MESSAGING_BYTE_STREAMS_H_
