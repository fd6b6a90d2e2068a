#include "devkit/driver/protocol/method_envelopes.h"

#include <gtest/gtest.h>

#include <optional>

namespace devkit {
namespace {

TEST(MethodEnvelopesTest, CallsAreTheStandardEnvelope) {
  flutter::EncodableMap arguments;
  arguments[flutter::EncodableValue("enabled")] = flutter::EncodableValue(false);
  const Bytes call = EncodeMethodCall("onMiniMode", flutter::EncodableValue(arguments));
  EXPECT_EQ(call, (Bytes{0x07, 0x0A, 'o',  'n',  'M', 'i', 'n', 'i', 'M', 'o', 'd', 'e',
                         0x0D, 0x01, 0x07, 0x07, 'e', 'n', 'a', 'b', 'l', 'e', 'd', 0x02}));
  const std::optional<DecodedMethodCall> decoded = DecodeMethodCall(call);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->method, "onMiniMode");
  EXPECT_EQ(decoded->arguments, flutter::EncodableValue(arguments));
}

TEST(MethodEnvelopesTest, RepliesDecodeToTheirKind) {
  MethodReply reply = DecodeMethodReply({});
  EXPECT_EQ(reply.kind, MethodReply::Kind::kNotImplemented);

  reply = DecodeMethodReply({0x00, 0x01});
  EXPECT_EQ(reply.kind, MethodReply::Kind::kSuccess);
  EXPECT_EQ(reply.value, flutter::EncodableValue(true));

  reply = DecodeMethodReply({0x01, 0x07, 0x01, 'E', 0x00, 0x00});
  EXPECT_EQ(reply.kind, MethodReply::Kind::kError);
  EXPECT_EQ(reply.error_code, "E");
  EXPECT_EQ(reply.error_message, "");
  EXPECT_TRUE(reply.value.IsNull());

  reply = DecodeMethodReply({0x05, 0x00});
  EXPECT_EQ(reply.kind, MethodReply::Kind::kUndecodable);
}

}  // namespace
}  // namespace devkit
