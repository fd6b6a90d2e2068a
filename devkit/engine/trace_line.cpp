#include "devkit/engine/trace_line.h"

#include <utility>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"

namespace devkit {
namespace {

// The tag the codec writes before a string, asked of the codec. A large integer's digits also
// decode as text, but only a string names a method.
uint8_t StringTag() {
  std::vector<uint8_t> encoded;
  flutter::ByteBufferStreamWriter writer(&encoded);
  flutter::SharedSerializer().WriteValue(flutter::EncodableValue(std::string()), &writer);
  return encoded.front();
}

const char* DirectionName(TraceDirection direction) {
  switch (direction) {
    case TraceDirection::kToApp:
      return "to-app";
    case TraceDirection::kToHost:
      return "to-host";
    case TraceDirection::kReplyToApp:
      return "reply-to-app";
    case TraceDirection::kReplyToHost:
      return "reply-to-host";
  }
  return "?";
}

// A channel or method name must not break the line or its columns.
void AppendField(std::string_view text, std::string* line) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    line->push_back(byte < 0x20 || byte == 0x7F ? '?' : c);
  }
}

}  // namespace

std::optional<std::string> PeekMethodName(const uint8_t* bytes, size_t size) {
  static const uint8_t kStringTag = StringTag();
  flutter::ByteBufferStreamReader reader(bytes, size);
  // The receiver of the message reports its faults; the trace only records it.
  reader.set_quiet(true);
  // Any other value is left unread: a message that begins with a large list costs the trace
  // nothing.
  const uint8_t tag = reader.ReadByte();
  if (tag != kStringTag) return std::nullopt;
  flutter::EncodableValue name = flutter::SharedSerializer().ReadValueOfType(tag, &reader);
  std::string* text = name.GetIf<std::string>();
  // A name cut short reads as zeros where its bytes are missing: no name at all.
  if (text == nullptr || reader.failed()) return std::nullopt;
  return std::move(*text);
}

std::string FormatTraceLine(TraceDirection direction, std::string_view channel,
                            const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string line = DirectionName(direction);
  line.push_back('\t');
  AppendField(channel, &line);
  line.push_back('\t');
  std::optional<std::string> method;
  if (direction == TraceDirection::kToApp || direction == TraceDirection::kToHost) {
    method = PeekMethodName(bytes, size);
  }
  AppendField(method ? *method : "-", &line);
  line += '\t' + std::to_string(size) + '\t';
  line.reserve(line.size() + 2 * size + 1);
  for (size_t i = 0; i < size; ++i) {
    line.push_back(kDigits[bytes[i] >> 4]);
    line.push_back(kDigits[bytes[i] & 15]);
  }
  line.push_back('\n');
  return line;
}

}  // namespace devkit
