#include "devkit/driver/protocol/frame_reader.h"

#include <iterator>
#include <string>
#include <utility>

#include "messaging/byte_buffer_streams.h"
#include "messaging/standard_codec_serializer.h"

namespace devkit {
namespace {

bool IsKnownFrameType(int32_t type) {
  return type >= static_cast<int32_t>(FrameType::kHello) &&
         type <= static_cast<int32_t>(FrameType::kGoodbye);
}

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

bool AppendFrame(Frame frame, Bytes* out) {
  frame.values.insert(frame.values.begin(),
                      flutter::EncodableValue(static_cast<int32_t>(frame.type)));
  const flutter::EncodableValue list(std::move(frame.values));
  // Encoded on its own rather than after the header in |out|: the encoding pads some values to
  // a multiple of their size counted from the start of the payload, as the reader counts it.
  Bytes payload;
  payload.reserve(flutter::MaxEncodedSize(list));
  flutter::ByteBufferStreamWriter writer(&payload);
  flutter::SharedSerializer().WriteValue(list, &writer);
  if (payload.size() > kMaxFramePayload) return false;
  const auto length = static_cast<uint32_t>(payload.size());
  out->reserve(out->size() + kFrameHeaderSize + payload.size());
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(length >> shift));
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
  // Judged from the header alone: an oversized frame is refused before its payload arrives.
  if (length > kMaxFramePayload) {
    error_ = "frame declares a payload of " + std::to_string(length) +
             " bytes, over the limit of " + std::to_string(kMaxFramePayload) + " bytes";
    return Status::kError;
  }
  if (available - kFrameHeaderSize < length) return Status::kNeedMore;
  if (!Decode(header + kFrameHeaderSize, length, frame)) return Status::kError;
  consumed_ += kFrameHeaderSize + length;
  return Status::kFrame;
}

bool FrameReader::Decode(const uint8_t* payload, size_t size, Frame* frame) {
  flutter::ByteBufferStreamReader reader(payload, size);
  flutter::EncodableValue value = flutter::SharedSerializer().ReadTaggedValue(&reader);
  const std::string what = "a frame payload of " + std::to_string(size) + " bytes";
  if (reader.failed()) {
    error_ = what + " is not a value of the standard encoding";
    return false;
  }
  if (!reader.AtEnd()) {
    error_ = what + " goes on after its value";
    return false;
  }
  auto* values = value.GetIf<flutter::EncodableList>();
  const int32_t* type =
      values != nullptr && !values->empty() ? values->front().GetIf<int32_t>() : nullptr;
  if (type == nullptr) {
    error_ = what + " is not a list that begins with the frame's type";
    return false;
  }
  if (!IsKnownFrameType(*type)) {
    error_ = "frame type " + std::to_string(*type) + " is not part of the driver protocol";
    return false;
  }
  frame->type = static_cast<FrameType>(*type);
  frame->values.assign(std::make_move_iterator(values->begin() + 1),
                       std::make_move_iterator(values->end()));
  return true;
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
