#include "devkit/driver/protocol/frame_reader.h"

#include <string>

namespace devkit {
namespace {

bool IsKnownFrameType(uint8_t type) {
  return type >= static_cast<uint8_t>(FrameType::kHello) &&
         type <= static_cast<uint8_t>(FrameType::kGoodbye);
}

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string HexByte(uint8_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[value >> 4] + kDigits[value & 15];
}

}  // namespace

bool AppendFrame(FrameType type, const Bytes& payload, Bytes* out) {
  if (payload.size() > kMaxFramePayload) return false;
  const auto length = static_cast<uint32_t>(payload.size());
  out->reserve(out->size() + kFrameHeaderSize + payload.size());
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(length >> shift));
  out->push_back(static_cast<uint8_t>(type));
  out->insert(out->end(), payload.begin(), payload.end());
  return true;
}

void FrameReader::Append(const uint8_t* data, size_t size) {
  if (!error_.empty()) return;
  // Drop what earlier frames used once it is most of the buffer, so that a long session does
  // not keep every byte it ever read.
  if (consumed_ > 0 && consumed_ >= buffer_.size() / 2) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
    consumed_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

FrameReader::Status FrameReader::Next(Frame* frame) {
  if (!error_.empty()) return Status::kError;
  const size_t available = buffer_.size() - consumed_;
  if (available < kFrameHeaderSize) return Status::kNeedMore;
  const uint8_t* header = buffer_.data() + consumed_;
  const uint32_t length = ReadLittleEndian32(header);
  const uint8_t type = header[4];
  // Both are judged from the header alone: a bad frame is refused before its payload arrives.
  if (!IsKnownFrameType(type)) {
    error_ = "frame type " + HexByte(type) + " is not part of the driver protocol";
    return Status::kError;
  }
  if (length > kMaxFramePayload) {
    error_ = "frame declares a payload of " + std::to_string(length) +
             " bytes, over the limit of " + std::to_string(kMaxFramePayload) + " bytes";
    return Status::kError;
  }
  if (available - kFrameHeaderSize < length) return Status::kNeedMore;
  const uint8_t* payload = header + kFrameHeaderSize;
  frame->type = static_cast<FrameType>(type);
  frame->payload.assign(payload, payload + length);
  consumed_ += kFrameHeaderSize + length;
  return Status::kFrame;
}

bool FrameReader::Finish() {
  if (!error_.empty()) return false;
  const size_t available = buffer_.size() - consumed_;
  if (available == 0) return true;
  if (available < kFrameHeaderSize) {
    error_ = "the stream ended inside a frame header: " + std::to_string(available) + " of " +
             std::to_string(kFrameHeaderSize) + " bytes received";
    return false;
  }
  const size_t expected = kFrameHeaderSize + ReadLittleEndian32(buffer_.data() + consumed_);
  error_ = "the stream ended inside a frame: " + std::to_string(available) + " of " +
           std::to_string(expected) + " bytes received";
  return false;
}

}  // namespace devkit
