#include "devkit/engine/trace_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace devkit {
namespace {

using Bytes = std::vector<uint8_t>;

std::string Line(TraceDirection direction, const std::string& channel, const Bytes& bytes) {
  return FormatTraceLine(direction, channel, bytes.data(), bytes.size());
}

TEST(TraceLineTest, MessagesShowTheirMethodAndRepliesDoNot) {
  const Bytes call = {0x07, 0x02, 'h', 'i', 0x00};
  EXPECT_EQ(Line(TraceDirection::kToHost, "app/desktop", call),
            "to-host\tapp/desktop\thi\t5\t0702686900\n");
  EXPECT_EQ(Line(TraceDirection::kToApp, "app/desktop_ui", call),
            "to-app\tapp/desktop_ui\thi\t5\t0702686900\n");
  // A success reply 00 07 ... would read as a name if replies were peeked.
  EXPECT_EQ(Line(TraceDirection::kReplyToApp, "c", {0x00, 0x01}), "reply-to-app\tc\t-\t2\t0001\n");
  EXPECT_EQ(Line(TraceDirection::kReplyToHost, "c", {}), "reply-to-host\tc\t-\t0\t\n");
}

TEST(TraceLineTest, MethodNameIsOnlyTakenFromAWholeStringValue) {
  EXPECT_FALSE(PeekMethodName(nullptr, 0));
  const Bytes not_a_string = {0x03, 0x01, 0x00, 0x00, 0x00};
  EXPECT_FALSE(PeekMethodName(not_a_string.data(), not_a_string.size()));
  const Bytes cut_short = {0x07, 0x05, 'a', 'b'};
  EXPECT_FALSE(PeekMethodName(cut_short.data(), cut_short.size()));
  const Bytes cut_size = {0x07, 254, 0x01};
  EXPECT_FALSE(PeekMethodName(cut_size.data(), cut_size.size()));
  const Bytes huge_size = {0x07, 255, 0xFF, 0xFF, 0xFF, 0xFF, 'a'};
  EXPECT_FALSE(PeekMethodName(huge_size.data(), huge_size.size()));

  // A large integer's digits decode as text too, but name no method.
  const Bytes large_integer = {0x05, 0x02, '1', '2'};
  EXPECT_FALSE(PeekMethodName(large_integer.data(), large_integer.size()));
  const Bytes list_first = {0x0C, 0x01, 0x07, 0x01, 'x'};
  EXPECT_FALSE(PeekMethodName(list_first.data(), list_first.size()));
}

TEST(TraceLineTest, MethodNameIsReadInEverySizeForm) {
  Bytes long_name = {0x07, 254, 0x2C, 0x01};
  long_name.insert(long_name.end(), 300, 'n');
  EXPECT_EQ(PeekMethodName(long_name.data(), long_name.size()), std::string(300, 'n'));
  // The longer forms may carry a small size.
  const Bytes four_byte_size = {0x07, 255, 0x02, 0x00, 0x00, 0x00, 'o', 'k', 0x00};
  EXPECT_EQ(PeekMethodName(four_byte_size.data(), four_byte_size.size()), std::string("ok"));
  const Bytes empty_name = {0x07, 0x00, 0x00};
  EXPECT_EQ(PeekMethodName(empty_name.data(), empty_name.size()), std::string());
  EXPECT_EQ(Line(TraceDirection::kToApp, "c", empty_name), "to-app\tc\t\t3\t070000\n");
}

// The host under test writes its own line for each fault of a message; the trace adds none.
TEST(TraceLineTest, FaultyMessagesAreTracedWithoutADiagnostic) {
  for (const Bytes& message : {Bytes{}, Bytes{0x07}, Bytes{0x07, 0x05, 'a', 'b'},
                               Bytes{0x07, 255, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, Bytes{0x0F, 0x01}}) {
    ::testing::internal::CaptureStderr();
    const std::string line = Line(TraceDirection::kToHost, "c", message);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << line;
    const std::string no_method = "to-host\tc\t-\t" + std::to_string(message.size()) + "\t";
    EXPECT_EQ(line.substr(0, no_method.size()), no_method) << line;
  }
}

TEST(TraceLineTest, ControlCharactersCannotBreakTheLine) {
  const Bytes call = {0x07, 0x03, 'a', '\n', 'b'};
  EXPECT_EQ(Line(TraceDirection::kToHost, "x\ty", call), "to-host\tx?y\ta?b\t5\t0703610A62\n");
}

}  // namespace
}  // namespace devkit
