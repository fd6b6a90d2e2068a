#include "devkit/engine/trace_line.h"

namespace devkit {
namespace {

constexpr uint8_t kStringTag = 7;

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
  if (size < 2 || bytes[0] != kStringTag) return std::nullopt;
  size_t position = 2;
  size_t length = bytes[1];
  if (length == 254) {
    if (size < 4) return std::nullopt;
    length = bytes[2] | static_cast<size_t>(bytes[3]) << 8;
    position = 4;
  } else if (length == 255) {
    if (size < 6) return std::nullopt;
    length = bytes[2] | static_cast<size_t>(bytes[3]) << 8 | static_cast<size_t>(bytes[4]) << 16 |
             static_cast<size_t>(bytes[5]) << 24;
    position = 6;
  }
  if (length > size - position) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(bytes + position), length);
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
