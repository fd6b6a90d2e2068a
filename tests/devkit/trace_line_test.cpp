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

  Bytes long_name = {0x07, 254, 0x2C, 0x01};
  long_name.insert(long_name.end(), 300, 'n');
  EXPECT_EQ(PeekMethodName(long_name.data(), long_name.size()), std::string(300, 'n'));
}

TEST(TraceLineTest, ControlCharactersCannotBreakTheLine) {
  const Bytes call = {0x07, 0x03, 'a', '\n', 'b'};
  EXPECT_EQ(Line(TraceDirection::kToHost, "x\ty", call), "to-host\tx?y\ta?b\t5\t0703610A62\n");
}

}  // namespace
}  // namespace devkit
