#ifndef DEVKIT_ENGINE_TRACE_LINE_H_
#define DEVKIT_ENGINE_TRACE_LINE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devkit {

// Which way a message went between the host and the UI application.
enum class TraceDirection {
  kToApp,        // a message of the host
  kToHost,       // a message of the UI application
  kReplyToApp,   // the host's response to a message of the UI application
  kReplyToHost,  // the UI application's reply to a message of the host
};

// The method name at the start of a method-call envelope, if the bytes begin with a whole string
// value. Tracing writes no diagnostic of its own: a fault of the message is its receiver's to
// report.
std::optional<std::string> PeekMethodName(const uint8_t* bytes, size_t size);

// One line of the message trace, tab-separated and ending in a newline: direction, channel,
// method name (messages only, "-" when there is none), length, the bytes in hex.
std::string FormatTraceLine(TraceDirection direction, std::string_view channel,
                            const uint8_t* bytes, size_t size);

}  // namespace devkit

#endif  // DEVKIT_ENGINE_TRACE_LINE_H_
