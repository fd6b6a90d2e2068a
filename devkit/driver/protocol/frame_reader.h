#ifndef DEVKIT_DRIVER_PROTOCOL_FRAME_READER_H_
#define DEVKIT_DRIVER_PROTOCOL_FRAME_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"

namespace devkit {

using Bytes = std::vector<uint8_t>;

// A frame on the driver's pipe is a 4-byte little-endian payload length and the payload: one list
// in the project's standard encoding, whose first value is the frame's type (a 32-bit integer)
// and the rest its values. The length comes first so that a reader knows how much to wait for;
// the limit keeps a corrupt length from making a reader allocate, or wait for, gigabytes.
inline constexpr size_t kFrameHeaderSize = 4;
inline constexpr uint32_t kMaxFramePayload = 64u << 20;

enum class FrameType : int32_t {
  kHello = 1,
  kCall = 2,
  kCallReply = 3,
  kCallFailed = 4,
  kHostMessage = 5,
  kStateQuery = 6,
  kEngineState = 7,
  kGoodbye = 8,
};

struct Frame {
  FrameType type;
  // The values after the type.
  flutter::EncodableList values;
};

// Appends the frame to |out|. False, with nothing appended, when the payload is over the limit.
bool AppendFrame(Frame frame, Bytes* out);

// Cuts a byte stream into frames and decodes them. The stream cannot be resynchronised after a
// fault, so the first fault is final: every later call reports it again.
class FrameReader {
 public:
  enum class Status { kFrame, kNeedMore, kError };

  void Append(const uint8_t* data, size_t size);

  // kFrame with the next frame in |frame|, kNeedMore until one is complete, or kError.
  Status Next(Frame* frame);

  // The stream has ended. False, with the error set, when it ended inside a frame.
  bool Finish();

  // Empty while the stream is sound.
  const std::string& error() const { return error_; }

 private:
  // False, with the error set, unless |payload| is one list of a known frame type and no more.
  bool Decode(const uint8_t* payload, size_t size, Frame* frame);

  Bytes buffer_;
  size_t consumed_ = 0;
  std::string error_;
};

}  // namespace devkit

#endif  // DEVKIT_DRIVER_PROTOCOL_FRAME_READER_H_
