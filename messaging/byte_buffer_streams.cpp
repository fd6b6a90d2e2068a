#include "messaging/byte_buffer_streams.h"

#include <cstring>

#include "messaging/diagnostics.h"

namespace flutter {

void ByteStreamReader::ReportFault(std::string_view first, std::string_view second) {
  if (failed_) return;
  failed_ = true;
  if (!quiet_) WriteDiagnosticLine(first, second);
}

void ByteStreamReader::ReportReadPastEnd() {
  ReportFault("Invalid read in StandardCodecByteStreamReader");
}

void ByteStreamReader::ReportEndOfMessage() {
  exhausted_ = true;
  ReportReadPastEnd();
}

uint8_t ByteBufferStreamReader::ReadByte() {
  if (position_ >= length_) {
    ReportEndOfMessage();
    return 0;
  }
  return bytes_[position_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* destination, size_t length) {
  // Padding may have moved the position past the end; compare without overflowing.
  if (position_ > length_ || length > length_ - position_) {
    ReportReadPastEnd();
    return;
  }
  if (length != 0) std::memcpy(destination, bytes_ + position_, length);
  position_ += length;
}

void ByteBufferStreamReader::SkipPadding(uint8_t alignment) {
  // The bound is checked by the read that follows, which fails if the padding ran past the end.
  if (alignment == 0) return;
  const size_t remainder = position_ % alignment;
  if (remainder != 0) position_ += alignment - remainder;
}

void ByteBufferStreamWriter::WriteByte(uint8_t value) { buffer_->push_back(value); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* source, size_t length) {
  buffer_->insert(buffer_->end(), source, source + length);
}

void ByteBufferStreamWriter::WritePadding(uint8_t alignment) {
  if (alignment == 0) return;
  const size_t remainder = buffer_->size() % alignment;
  if (remainder == 0) return;
  for (size_t i = remainder; i < alignment; ++i) WriteByte(0);
}

}  // namespace flutter
